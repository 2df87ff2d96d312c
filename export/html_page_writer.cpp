// Writing the bytes of a gallery page: fixed markup, written piece by piece in page order,
// with only the sizes, names and captions filled in.
#include "export/html_page_writer.h"

#include <algorithm>

#include "export/html_text.h"

namespace mirel::html {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// Every cell is this wide, whatever the column count.
constexpr std::string_view kCellStart = R"(<td align="center" valign="top" width="20%">)";
// The cell tables are larger than their image by this, for the empty border cells.
constexpr int kCellTableExtraWidth = 6;
constexpr int kCellTableExtraHeight = 7;

}  // namespace

HtmlPageWriter::HtmlPageWriter(PageKind kind, int columns, std::string_view sourceFolder)
    : kind_(kind), columns_(std::clamp(columns, 1, kMaxColumns)) {
    writeHead(sourceFolder);
}

void HtmlPageWriter::writeHead(std::string_view sourceFolder) {
    const bool presets = kind_ == PageKind::Presets;
    std::string& t = text_;
    t += R"(<!DOCTYPE html PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">)";
    t += "\r\n\r\n<html>\r\n<head>\r\n";
    t += R"(<meta http-equiv="content-type" content="text/html;charset=ISO-8859-1">)";
    t += kCrLf;
    t += R"(<meta name="generator" content="Ostrand Mirel"><title>Mirel)";
    t += presets ? " presets" : " memory dots";
    t += "</title>\r\n</head>\r\n\r\n";
    t += R"(<body bgcolor="#ffffff">)";
    t += "\r\n<p><br>\r\n\r\n";
    t +=
        R"(<font size="4" color="000000" face="Gill Sans,Verdana,Helvetica,Arial,Geneva"><b>Mirel)";
    t += presets ? " presets from " : " images from ";
    // The memory dots page has no source folder, so its heading keeps both blanks.
    if (presets) t += escapeText(sourceFolder);
    if (!presets) t += " memory dots ";
    t += "<br>\r\n</b></font></p>";
}

// The table begins with the first cell: HTML 4.01 has no table without rows, so a
// page without cells has none.
void HtmlPageWriter::openTable() {
    if (tableOpen_) return;
    text_ += R"(<table width="100%" border="0" cellspacing="12" cellpadding="0" align="center">)";
    tableOpen_ = true;
}

void HtmlPageWriter::imageCell(int width, int height, std::string_view fileStem,
                               std::string_view caption) {
    if (finished_) return;
    openTable();
    std::string& t = text_;
    if (column_ == 1) t += "<tr>";
    t += kCellStart;
    t += kCrLf;
    t += R"(<table id="Table_01" width=")" + std::to_string(width + kCellTableExtraWidth);
    t += R"(" border="0" cellspacing="0" cellpadding="0" height=")";
    t += std::to_string(height + kCellTableExtraHeight) + "\">\r\n";
    t += "<tr>\r\n<td colspan=\"3\"></td>\r\n</tr>\r\n";
    t += "<tr>\r\n<td></td>\r\n<td>";
    // The reference always uses '/', whatever separator the system's paths have.
    t += "<img src=\"";
    t += kImagesFolderName;
    t += '/';
    t += urlEncode(fileStem);
    t += kImageExtension;
    t += "\" alt=\"";
    t += escapeText(fileStem);
    t += kImageExtension;
    t += "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height);
    t += "\" border=\"0\">";
    t += "</td>\r\n<td></td>\r\n</tr>\r\n";
    t += "<tr>\r\n<td colspan=\"3\"></td>\r\n</tr>\r\n</table>\r\n";
    t += "<div align=\"center\">\r\n<br><font size=\"" + std::to_string(captionSize_);
    t += R"(" color="000000" face="Gill Sans,Verdana,Helvetica,Arial">)";
    t += escapeText(caption);
    t += "</font></div></td>\r\n\r\n";
    advanceColumn();
}

void HtmlPageWriter::emptyCell() {
    if (finished_) return;
    openTable();
    std::string& t = text_;
    t += kCellStart;
    t += "<p></p>\r\n<div align=\"center\">\r\n";
    t += R"(<p><font face="Hoefler Text,Times New Roman,Georgia,Times"><b></b></font></p>)";
    t += "\r\n</div>\r\n</td>\r\n\r\n";
    advanceColumn();
}

void HtmlPageWriter::advanceColumn() {
    if (++column_ <= columns_) return;
    text_ += "</tr>";
    endRow();
    ++row_;
    column_ = 1;
}

// A row of blank paragraphs after each row of cells keeps the captions apart from the
// images of the next row.
void HtmlPageWriter::endRow() {
    text_ += "\r\n<tr>";
    for (int i = 0; i < columns_; ++i) {
        text_ += kCellStart;
        text_ += "<p>&nbsp;</p></td>";
    }
    text_ += "</tr>";
}

const std::string& HtmlPageWriter::finish() {
    if (finished_) return text_;
    while (column_ > 1) emptyCell();
    if (tableOpen_) text_ += "</table>";
    text_ += "<br>\r\n</body></html>";
    finished_ = true;
    return text_;
}

}  // namespace mirel::html
