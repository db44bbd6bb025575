#pragma once
// The headless window model: each window is a plain struct of these controls,
// and its handlers change them. The desktop front end draws them; tests read
// them. Nothing here knows about a toolkit.
#include <cstdint>
#include <string>
#include <vector>

namespace forms {

// Colours as the windows use them: the system's window background, or an RGB
// value packed red-first.
using Colour = uint32_t;
inline constexpr Colour SystemWindowColour = 0x80000005u;  // system colour index 5
constexpr Colour Rgb(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<Colour>(red) | static_cast<Colour>(green) << 8 | static_cast<Colour>(blue) << 16;
}
inline constexpr Colour LightGrey = Rgb(192, 192, 192);  // a switched-off entry field

struct Control {
  std::string name;
  int16_t tabIndex = 0;
  bool enabled = true;
  bool visible = true;
  Colour backColour = SystemWindowColour;
};

struct TextBox : Control {
  std::u16string text;
  int32_t maxLength = 0;      // 0: no limit; limits typing only, not text set by code
  char16_t passwordChar = 0;  // 0: plain, else each character is shown as this one
  int32_t selStart = 0;       // selection, 0-based
  int32_t selLength = 0;
};

struct Label : Control {
  std::u16string caption;
};

struct Button : Control {
  std::u16string caption;  // empty for picture buttons
};

struct CheckBox : Control {
  int16_t value = 0;  // 0 unticked, 1 ticked
};

// An option-button array: at most one of its buttons is selected.
struct OptionArray : Control {
  std::vector<std::u16string> captions;
  int16_t selected = -1;  // -1: none
  bool IsSelected(int16_t index) const { return selected == index; }
};

// A combo box with editable text and a drop-down list.
struct ComboBox : Control {
  std::u16string text;
  std::vector<std::u16string> list;
};

// What every window has besides its controls.
struct FormModel {
  std::u16string caption;
  bool visible = false;
  const Control* focus = nullptr;  // the control with the focus
};

// Switches an entry field on (window colour, enabled) or off (light grey,
// disabled).
void SwitchField(Control& field, bool on);

// What a user's typing does: the text is cut to the box's maximum length.
void Type(TextBox& box, std::u16string_view text);

void SetFocus(FormModel& form, Control& control);

// Keystrokes sent to a text box; "{Home}+{End}" selects its whole text, the
// only sequence the windows send.
void SendKeys(TextBox& box, std::u16string_view keys);

}  // namespace forms
