#pragma once
// One Qt binding per kind of headless control. Each Add* function makes the
// control's widget on the view (the caller lays it out), copies the user's edits into the model as
// they happen (text, tick, chosen option, combo text, chosen row), runs the
// control's handlers through the dispatch, and registers how the widget is
// redrawn from the model after every handler.
#include <QString>
#include <functional>
#include <vector>

#include "desktop/camera_rows.h"
#include "desktop/window_view.h"
#include "forms/controls.h"
#include "forms/list_view.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QModelIndex;
class QTreeView;

namespace desktop {

// Runs one handler of the windows' logic; see QtDesktop::Dispatch.
using Dispatch = std::function<void(const std::function<void()>& handler)>;
using Handler = std::function<void()>;  // empty: the control raises no event

QLineEdit& AddTextBox(WindowView& view, forms::TextBox& box, const char* name);
QLabel& AddLabel(WindowView& view, forms::Label& label, const char* name, bool wrap = false);
// A picture button when picture holds its painted wording, else a plain
// button with the model's caption; mnemonic: the caption's first letter is
// its mnemonic (the model's caption stays as it is).
QPushButton& AddButton(WindowView& view, forms::Button& button, const char* name, const QString& picture,
                       const Handler& click, const Dispatch& dispatch, bool mnemonic = false);
QCheckBox& AddCheckBox(WindowView& view, forms::CheckBox& box, const char* name, const QString& text,
                       const Handler& click, const Dispatch& dispatch);
// count radio buttons; the model's captions label them. An option
// without a caption shows only while it is the selected one.
std::vector<QAbstractButton*> AddOptionArray(WindowView& view, forms::OptionArray& options, size_t count,
                                             const char* name, const Handler& click, const Dispatch& dispatch);
QComboBox& AddComboBox(WindowView& view, forms::ComboBox& combo, const char* name);
// The rows in a sortable view: a Name column with each row's text, then the
// model's columns, with each row's note (note may be empty). Choosing a row
// raises event 9, double-clicking a row raises event 10; sorted or not, the
// model's row is the one chosen. While the view shows the cameras heard by a
// search (CameraRows::Heard), the logic is not asked: choosing a row only
// selects it, and the list is not redrawn from the model.
QTreeView& AddListView(WindowView& view, forms::ListView& list, const char* name, const Handler& event9,
                       const Handler& event10, const Dispatch& dispatch, RowNoteFunction note = {});
// The rows a list view shows.
CameraRows* ListRows(const QTreeView& tree);

// The model's row that a row of the view shows; NoSelectedRow for none.
int32_t ListRowOf(const QModelIndex& index);

QFrame& AddPanel(WindowView& view, forms::Control& panel, const char* name);

// The colour a control's back colour stands for: the palette's base colour
// for the system window colour, else the RGB value.
QColor BackColour(forms::Colour colour);

}  // namespace desktop
