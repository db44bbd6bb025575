#include "forms/controls.h"

namespace forms {

void SwitchField(Control& field, bool on) {
  field.enabled = on;
  field.backColour = on ? SystemWindowColour : LightGrey;
}

void Type(TextBox& box, std::u16string_view text) {
  box.text = box.maxLength > 0 && text.size() > static_cast<size_t>(box.maxLength)
                 ? text.substr(0, static_cast<size_t>(box.maxLength))
                 : text;
  box.selStart = static_cast<int32_t>(box.text.size());
  box.selLength = 0;
}

void SetFocus(FormModel& form, Control& control) { form.focus = &control; }

void SendKeys(TextBox& box, std::u16string_view keys) {
  if (keys == u"{Home}+{End}") {
    box.selStart = 0;
    box.selLength = static_cast<int32_t>(box.text.size());
  }
}

}  // namespace forms
