// The bytes of an HTML 4.01 gallery page: head, heading, a table of image cells in rows
// with a spacer row after each, empty cells completing the last row, and the closing part.
// A page without cells has no table.
// Lines end with CR LF. This builds the page in memory; html_gallery writes it and its
// images to disk.
#pragma once

#include <string>
#include <string_view>

namespace mirel::html {

enum class PageKind {
    Presets,     // one cell per settings file of a folder, showing its thumbnail
    MemoryDots,  // one cell per filled memory dot, showing the effect with its settings
};

constexpr int kMaxColumns = 10;
constexpr int kPresetsColumns = 5;
constexpr int kMemoryDotsColumns = 4;
constexpr int kCaptionFontSize = 3;
// The images folder beside the page, as referenced from the page.
constexpr std::string_view kImagesFolderName = "web_images";
constexpr std::string_view kImageExtension = ".jpg";

class HtmlPageWriter {
  public:
    // Begins a page: writes the head and the heading. `columns` is limited to 1..10.
    // `sourceFolder` is shown in the heading of a presets page (escaped, as given, so
    // the caller ends it with a separator); a memory dots page has none.
    HtmlPageWriter(PageKind kind, int columns, std::string_view sourceFolder = {});

    // A cell showing kImagesFolderName/<fileStem>.jpg at width x height, with `caption`
    // below it. `fileStem` is the image's file name without ".jpg" as it is on disk
    // (sanitised); `caption` is any UTF-8 text. Both are escaped or encoded here.
    void imageCell(int width, int height, std::string_view fileStem, std::string_view caption);
    // A cell with nothing in it; pages use it only to complete their last row.
    void emptyCell();

    // Completes the last row with empty cells and writes the closing part. Returns the
    // whole page; nothing can be added afterwards.
    const std::string& finish();

    const std::string& text() const { return text_; }
    PageKind kind() const { return kind_; }
    int columns() const { return columns_; }
    int column() const { return column_; }  // 1-based: where the next cell goes
    int row() const { return row_; }        // 1-based
    bool finished() const { return finished_; }

  private:
    void writeHead(std::string_view sourceFolder);
    void openTable();
    void advanceColumn();
    void endRow();

    PageKind kind_;
    int columns_;
    int column_ = 1;
    int row_ = 1;
    int captionSize_ = kCaptionFontSize;
    bool tableOpen_ = false;
    bool finished_ = false;
    std::string text_;
};

}  // namespace mirel::html
