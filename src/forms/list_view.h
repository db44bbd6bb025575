#pragma once
// The headless device list: rows of cells, a selected row. It is the list
// control the main window's logic works on; the desktop front end draws it.
#include <array>
#include <vector>

#include "forms/list_control.h"
#include "forms/controls.h"

namespace forms {

class ListView : public forms::ListControl {
 public:
  static constexpr int ColumnCount = 5;
  struct Row {
    std::u16string text;
    std::array<std::u16string, ColumnCount> cells;
    std::u16string tip = {};  // what the row says when pointed at; empty for most rows
    bool operator==(const Row&) const = default;
  };

  std::vector<std::u16string> headers;
  std::vector<Row> rows;
  int32_t selectedRow = forms::NoSelectedRow;
  Control control;

  void ClearRows() override;
  void AddRow(const std::u16string& text, int16_t row) override;
  std::u16string CellText(int32_t row, int32_t column) override;
  void CellText(int32_t row, int32_t column, const std::u16string& text) override;
  int32_t SelectedRow() override;
  void RowTip(int32_t row, const std::u16string& tip);
};

}  // namespace forms
