// CalcProbe: a second, independent UNO client for tests and the benchmark. It sets up
// documents in a Calc and inspects what the host did there (merged areas, protection, undo
// list, locks) through Calc's own API rather than through SpreadsheetHost.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gridmoor::calc {

class CalcProbe {
public:
    // Connects to the Calc listening on the UNO pipe `pipeName`; throws std::runtime_error
    // when nothing listens.
    explicit CalcProbe(const std::string& pipeName);
    ~CalcProbe();
    CalcProbe(const CalcProbe&) = delete;
    CalcProbe& operator=(const CalcProbe&) = delete;

    // Opens a new spreadsheet with one sheet named `firstSheet` and makes it the current
    // document; closes every other document first, unless `closeOthers` is false (closing
    // a large visible document from this client's thread can crash soffice 7.4 in
    // vcl::Window::dispose, so a benchmark leaves them open).
    void newWorkbook(std::string_view firstSheet = "Sheet1", bool closeOthers = true);
    void closeAll();
    void addSheet(std::string_view name);
    std::vector<std::string> sheetNames();
    std::string activeSheet();

    // Enters cell contents as typed in the input line: "a", "12", "=1/0", "" (clears).
    void enter(std::string_view sheet, std::string_view cellA1, std::string_view content);
    // Enters a column of contents starting at the cell.
    void enterColumn(std::string_view sheet, std::string_view topA1,
                     const std::vector<std::string>& contents);
    // Numbers straight into a column, one call.
    void fillNumbers(std::string_view sheet, std::string_view topA1, const std::vector<double>& v);
    std::string formula(std::string_view sheet, std::string_view cellA1);
    void setNumberFormat(std::string_view sheet, std::string_view rangeA1, short numberFormatType);
    void setBold(std::string_view sheet, std::string_view rangeA1);
    bool isBold(std::string_view sheet, std::string_view cellA1);

    // Formatting and content as a user gives it in Calc's dialogs.
    // A numeric property of every cell of the range (CharWeightAsian 150, CharHeightComplex
    // 14, CellBackColor 0xFFCC00, IsTextWrapped 1, ...), sent with the property's own type.
    void setNumberProperty(std::string_view sheet, std::string_view rangeA1, std::string_view name,
                           double value);
    // A thin line on the four sides of every cell of the range.
    void setBorders(std::string_view sheet, std::string_view rangeA1);
    // The cell's text, its first `boldChars` characters bold.
    void enterRichText(std::string_view sheet, std::string_view cellA1, std::string_view text,
                       int boldChars);
    // The cell's text as one hyperlink to `url`.
    void enterHyperlink(std::string_view sheet, std::string_view cellA1, std::string_view text,
                        std::string_view url);
    void addNote(std::string_view sheet, std::string_view cellA1, std::string_view text);
    // A validation of every cell of the range that allows whole numbers only.
    void allowWholeNumbersOnly(std::string_view sheet, std::string_view rangeA1);

    // Everything Calc reports of each cell of a range: every property (font, Asian and
    // complex-script font, borders, alignment, protection, number format, conditional
    // format and validation entries, ...), the content as typed, each portion of its text
    // with its formatting and fields (hyperlinks), and its note.
    struct CellRecord;
    std::shared_ptr<const CellRecord> recordCells(std::string_view sheet, std::string_view rangeA1);
    // What differs between two records of the same range, as "B3 CharWeightAsian" per cell
    // and item; empty when every cell is the same.
    static std::vector<std::string> differences(const CellRecord& before, const CellRecord& after);

    void merge(std::string_view sheet, std::string_view rangeA1);
    // Every merged area of columns A to AZ in the first `rows` rows, absolute A1, sorted.
    std::vector<std::string> mergedAreas(std::string_view sheet, long rows = 200);

    void protectSheet(std::string_view sheet, bool on);
    void protectStructure(bool on);

    long undoCount();
    void undo();
    bool controllersLocked();
    bool automaticCalculation();
    void setAutomaticCalculation(bool on);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gridmoor::calc
