#pragma once
// The main window's multi-column device list, used by its members' dispatch
// numbers. Rows and columns count from 0.
#include <cstdint>
#include <string>

namespace forms {

inline constexpr int32_t NoSelectedRow = -1;

class ListControl {
 public:
  virtual ~ListControl() = default;
  virtual void ClearRows() = 0;                                                        // 28
  virtual void AddRow(const std::u16string& text, int16_t row) = 0;                    // 4
  virtual std::u16string CellText(int32_t row, int32_t column) = 0;                    // 29, get
  virtual void CellText(int32_t row, int32_t column, const std::u16string& text) = 0;  // 29, put
  virtual int32_t SelectedRow() = 0;                                                   // 10; NoSelectedRow when none
};

}  // namespace forms
