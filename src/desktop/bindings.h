#pragma once
// One Qt binding per kind of headless control. Each Add* function puts the
// control's widget on the view, copies the user's edits into the model as
// they happen (text, tick, chosen option, combo text, chosen row), runs the
// control's handlers through the dispatch, and registers how the widget is
// redrawn from the model after every handler.
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

#include "desktop/window_view.h"
#include "forms/controls.h"
#include "forms/list_view.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTreeWidget;

namespace desktop {

// Runs one handler of the windows' logic; see QtDesktop::Dispatch.
using Dispatch = std::function<void(const std::function<void()>& handler)>;
using Handler = std::function<void()>;  // empty: the control raises no event

QLineEdit& AddTextBox(WindowView& view, forms::TextBox& box, const QRect& place, const char* name);
QLabel& AddLabel(WindowView& view, forms::Label& label, const QRect& place, const char* name, bool wrap = false);
// A picture button when picture holds its painted wording, else a plain
// button with the model's caption.
QAbstractButton& AddButton(WindowView& view, forms::Button& button, const QRect& place, const char* name,
                           const QString& picture, Handler click, const Dispatch& dispatch);
QCheckBox& AddCheckBox(WindowView& view, forms::CheckBox& box, const QRect& place, const char* name,
                       const QString& text, Handler click, const Dispatch& dispatch);
// One radio button per place; the model's captions label them. An option
// without a caption shows only while it is the selected one.
std::vector<QAbstractButton*> AddOptionArray(WindowView& view, forms::OptionArray& options,
                                             const std::vector<QRect>& places, const char* name, Handler click,
                                             const Dispatch& dispatch);
QComboBox& AddComboBox(WindowView& view, forms::ComboBox& combo, const QRect& place, const char* name);
// Choosing a row raises event 9, double-clicking a row raises event 10.
QTreeWidget& AddListView(WindowView& view, forms::ListView& list, const QRect& place, const char* name,
                         Handler event9, Handler event10, const Dispatch& dispatch);
QFrame& AddPanel(WindowView& view, forms::Control& panel, const QRect& place, const char* name);

// The colour a control's back colour stands for: the palette's base colour
// for the system window colour, else the RGB value.
QColor BackColour(forms::Colour colour);

}  // namespace desktop
