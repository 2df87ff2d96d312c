// The gallery page's bytes, and the escaping, URL encoding and file name rules.
#include "export/html_page_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "export/html_text.h"

namespace mirel::html {
namespace {

const std::string kPresetsHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n"
    "<html>\r\n<head>\r\n"
    "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">\r\n"
    "<meta name=\"generator\" content=\"Ostrand Mirel\"><title>Mirel presets</title>\r\n"
    "</head>\r\n\r\n<body bgcolor=\"#ffffff\">\r\n<p><br>\r\n\r\n"
    "<font size=\"4\" color=\"000000\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\">"
    "<b>Mirel presets from /sea &amp; sky/<br>\r\n</b></font></p>";
const std::string kTableStart =
    "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" align=\"center\">";

const std::string kSeaCell =
    "<td align=\"center\" valign=\"top\" width=\"20%\">\r\n"
    "<table id=\"Table_01\" width=\"94\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" "
    "height=\"95\">\r\n"
    "<tr>\r\n<td colspan=\"3\"></td>\r\n</tr>\r\n"
    "<tr>\r\n<td></td>\r\n<td><img src=\"web_images/Sea%201.jpg\" alt=\"Sea 1.jpg\" "
    "width=\"88\" height=\"88\" border=\"0\"></td>\r\n<td></td>\r\n</tr>\r\n"
    "<tr>\r\n<td colspan=\"3\"></td>\r\n</tr>\r\n</table>\r\n"
    "<div align=\"center\">\r\n<br><font size=\"3\" color=\"000000\" "
    "face=\"Gill Sans,Verdana,Helvetica,Arial\">a&amp;b</font></div></td>\r\n\r\n";

const std::string kEmptyCell =
    "<td align=\"center\" valign=\"top\" width=\"20%\"><p></p>\r\n<div align=\"center\">\r\n"
    "<p><font face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b></b></font></p>\r\n"
    "</div>\r\n</td>\r\n\r\n";

const std::string kSpacerCell =
    "<td align=\"center\" valign=\"top\" width=\"20%\"><p>&nbsp;</p></td>";

const std::string kPageEnd = "</table><br>\r\n</body></html>";

TEST(HtmlPageWriter, RowsOfCellsWithSpacerRowsAndACompletedLastRow) {
    HtmlPageWriter page(PageKind::Presets, 2, "/sea & sky/");
    EXPECT_EQ(page.text(), kPresetsHead);
    for (int i = 0; i < 3; ++i) page.imageCell(88, 88, "Sea 1", "a&b");
    EXPECT_EQ(page.row(), 2);
    EXPECT_EQ(page.column(), 2);
    const std::string spacerRow = "\r\n<tr>" + kSpacerCell + kSpacerCell + "</tr>";
    const std::string expected = kPresetsHead + kTableStart + "<tr>" + kSeaCell + kSeaCell +
                                 "</tr>" + spacerRow + "<tr>" + kSeaCell + kEmptyCell + "</tr>" +
                                 spacerRow + kPageEnd;
    EXPECT_EQ(page.finish(), expected);
    page.imageCell(88, 88, "late", "late");  // nothing goes after the end
    EXPECT_EQ(page.text(), expected);

    // Without cells there is no table (HTML 4.01 has none without rows), and a full
    // last row gets no empty cells.
    HtmlPageWriter empty(PageKind::Presets, 5, "/sea & sky/");
    EXPECT_EQ(empty.finish(), kPresetsHead + "<br>\r\n</body></html>");
    HtmlPageWriter full(PageKind::Presets, 1, "/sea & sky/");
    full.imageCell(88, 88, "Sea 1", "a&b");
    EXPECT_EQ(full.finish(), kPresetsHead + kTableStart + "<tr>" + kSeaCell + "</tr>\r\n<tr>" +
                                 kSpacerCell + "</tr>" + kPageEnd);
}

TEST(HtmlText, EscapingTableEdges) {
    EXPECT_EQ(escapeText("\"&<>'"), "&quot;&amp;&lt;&gt;'");
    EXPECT_EQ(escapeText("xyz{|}~\x7f"), "xyz&#123;&#124;&#125;&#126;&#127;");
    EXPECT_EQ(escapeText("\x01\t"), "\x01\t");  // control codes pass as they are
    // 128..255 arrive as UTF-8 on this system.
    EXPECT_EQ(escapeText("\u0080\u009f\u00a0\u00ad\u00d7\u00df\u00f7\u00ff"),
              "&#128;&#159;&nbsp;&shy;&times;&szlig;&divide;&yuml;");
    // A name in a legacy 8-bit encoding: its bytes are ISO 8859-1 characters.
    EXPECT_EQ(escapeText("Caf\xe9 \xa0\xff"), "Caf&eacute; &nbsp;&yuml;");
    // Characters beyond ISO 8859-1 become numeric references of their own.
    EXPECT_EQ(escapeText("\u6d77 \u20ac \U0001F30A"), "&#28023; &#8364; &#127754;");
    // Malformed UTF-8: an overlong '/', a surrogate, a lone lead byte at the end.
    EXPECT_EQ(escapeText("\xc0\xaf\xed\xa0\x80\xe6"), "&Agrave;&macr;&iacute;&nbsp;&#128;&aelig;");
}

TEST(HtmlText, UrlEncodingKeepsOnlyLettersAndDigits) {
    EXPECT_EQ(urlEncode("Sea 1"), "Sea%201");
    EXPECT_EQ(urlEncode("a&b"), "a%26b");
    EXPECT_EQ(urlEncode("AZaz09_.-~/%"), "AZaz09%5f%2e%2d%7e%2f%25");
    EXPECT_EQ(urlEncode(std::string("\x00\xab\xff", 3)), "%00%ab%ff");
    EXPECT_EQ(urlEncode("\u6d77"), "%e6%b5%b7");
}

TEST(HtmlText, SanitisingFileNames) {
    // The byte rule: below 32 a blank; from 128 the low 7 bits plus 32, '_' for what
    // would be '.'; separators and ':' become '_'.
    const std::string in = {0,      31,     127,    '\x80', '\x8e', '\x8f', '\x9a', '\xbc',
                            '\xbd', '\xc1', '\xe9', '\xff', '/',    ':',    '\\'};
    // 0x8E would give '.', 0x8F '/', 0x9A ':', 0xBC '\'.
    const std::string out = {' ', ' ', 127,    ' ',    '_', '_', '_', '_',
                             ']', 'a', '\x89', '\x9f', '_', '_', '_'};
    for (std::size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(sanitiseByte(std::uint8_t(in[i])), std::uint8_t(out[i])) << i;

    EXPECT_EQ(sanitiseFileName("Sea 1"), "Sea 1");
    EXPECT_EQ(sanitiseFileName("a&b"), "a&b");
    EXPECT_EQ(sanitiseFileName("a/b:c\\d\x01\x1f"), "a_b_c_d  ");
    // ISO 8859-1 letters from UTF-8 or from legacy bytes meet the same rule; results that
    // are no characters (127..159) become '_'.
    EXPECT_EQ(sanitiseFileName("\u00c1ngel Caf\u00e9 \u00df"), "angel Caf_ _");
    EXPECT_EQ(sanitiseFileName("\xc1ngel Caf\xe9"), "angel Caf_");
    EXPECT_EQ(sanitiseFileName("\u008e"), "_");
    // Characters beyond ISO 8859-1 stay as they are.
    EXPECT_EQ(sanitiseFileName("\u6d77 \u20ac"), "\u6d77 \u20ac");
}

}  // namespace
}  // namespace mirel::html
