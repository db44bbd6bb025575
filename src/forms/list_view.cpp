#include "forms/list_view.h"

#include <stdexcept>
#include <utility>

namespace forms {

namespace {
void CheckCell(const std::vector<ListView::Row>& rows, int32_t row, int32_t column) {
  if (row < 0 || static_cast<size_t>(row) >= rows.size() || column < 0 || column >= ListView::ColumnCount) {
    throw std::out_of_range("list cell (" + std::to_string(row) + ", " + std::to_string(column) + ") does not exist");
  }
}
}  // namespace

void ListView::ClearRows() {
  rows.clear();
  selectedRow = forms::NoSelectedRow;
}

// The row text is the first column's text until a cell text replaces it.
void ListView::AddRow(const std::u16string& text, int16_t row) {
  Row added{text, {text, u"", u"", u""}};
  size_t at = row < 0 || static_cast<size_t>(row) > rows.size() ? rows.size() : static_cast<size_t>(row);
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(added));
}

std::u16string ListView::CellText(int32_t row, int32_t column) {
  CheckCell(rows, row, column);
  return rows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)];
}

void ListView::CellText(int32_t row, int32_t column, const std::u16string& text) {
  CheckCell(rows, row, column);
  rows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)] = text;
}

void ListView::RowTip(int32_t row, const std::u16string& tip) {
  CheckCell(rows, row, 0);
  rows[static_cast<size_t>(row)].tip = tip;
}

int32_t ListView::SelectedRow() {
  return selectedRow >= 0 && static_cast<size_t>(selectedRow) < rows.size() ? selectedRow : forms::NoSelectedRow;
}

}  // namespace forms
