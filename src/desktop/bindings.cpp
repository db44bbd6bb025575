#include "desktop/bindings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <algorithm>

#include "desktop/picture_button.h"

namespace desktop {

namespace {

constexpr int NoLengthLimit = 32767;  // QLineEdit's own default

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

void Name(QWidget& widget, const char* name) { widget.setObjectName(QString::fromLatin1(name)); }

// Enabled and visible, as every control has them.
void RenderCommon(QWidget& widget, const forms::Control& control) {
  widget.setEnabled(control.enabled);
  widget.setVisible(control.visible);
}

// A switched-off field keeps its text readable on the light grey: the
// style's own disabled text colour is nearly the same grey.
const QColor DisabledText(96, 96, 96);

void RenderBackColour(QWidget& widget, forms::Colour colour) {
  const QColor wanted = BackColour(colour);
  const QPalette& current = widget.palette();
  if (current.color(QPalette::Active, QPalette::Base) == wanted &&
      current.color(QPalette::Disabled, QPalette::Base) == wanted &&
      current.color(QPalette::Disabled, QPalette::Text) == DisabledText) {
    return;
  }
  QPalette palette = current;
  palette.setColor(QPalette::Base, wanted);
  palette.setColor(QPalette::Disabled, QPalette::Text, DisabledText);
  widget.setPalette(palette);
}

void CopySelection(const QLineEdit& edit, forms::TextBox& box) {
  if (edit.hasSelectedText()) {
    box.selStart = edit.selectionStart();
    box.selLength = static_cast<int32_t>(edit.selectedText().size());
  } else {
    box.selStart = edit.cursorPosition();
    box.selLength = 0;
  }
}

void RenderTextBox(const forms::TextBox& box, QLineEdit& edit) {
  const QSignalBlocker quiet(edit);
  const QString text = ToQt(box.text);
  // The limit holds for typing only: a longer text put by the logic stays
  // whole, and can be shortened but not lengthened.
  edit.setMaxLength(box.maxLength > 0 ? std::max<int>(box.maxLength, static_cast<int>(text.size())) : NoLengthLimit);
  if (edit.text() != text) edit.setText(text);
  if (box.passwordChar != 0) {
    edit.setEchoMode(QLineEdit::Password);
    edit.setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }").arg(int{box.passwordChar}));
  } else {
    edit.setEchoMode(QLineEdit::Normal);
    edit.setStyleSheet(QString());
  }
  RenderCommon(edit, box);
  RenderBackColour(edit, box.backColour);

  const int length = static_cast<int>(text.size());
  const int start = std::clamp<int>(box.selStart, 0, length);
  const int selected = std::clamp<int>(box.selLength, 0, length - start);
  if (selected > 0) {
    if (edit.selectionStart() != start || edit.selectedText().size() != selected) edit.setSelection(start, selected);
  } else if (edit.hasSelectedText()) {
    edit.deselect();
  }
}

void RenderListView(forms::ListView& list, QTreeView& tree, CameraRows& rows, const QSortFilterProxyModel& sorted) {
  RenderCommon(tree, list.control);
  if (rows.Heard()) return;  // the search's own rows until the logic lists them
  const QSignalBlocker quiet(tree.selectionModel());
  QStringList headers{QStringLiteral("Name")};
  for (const std::u16string& header : list.headers) headers << ToQt(header);
  rows.SetHeaders(headers);
  rows.Follow(list.rows);
  const int32_t selected = list.SelectedRow();
  const QModelIndex current = tree.currentIndex();
  if (selected == forms::NoSelectedRow || selected >= rows.rowCount()) {
    tree.clearSelection();
    tree.setCurrentIndex(QModelIndex());
  } else if (ListRowOf(current) != selected || !tree.selectionModel()->isSelected(current)) {
    const QModelIndex shown = sorted.mapFromSource(rows.index(selected, 0));
    tree.selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
}

}  // namespace

QColor BackColour(forms::Colour colour) {
  if (colour & 0x80000000u) return QApplication::palette().color(QPalette::Active, QPalette::Base);
  return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>(colour >> 8 & 0xFFu),
                static_cast<int>(colour >> 16 & 0xFFu));
}

QLineEdit& AddTextBox(WindowView& view, forms::TextBox& box, const char* name) {
  auto* edit = new QLineEdit(&view);
  Name(*edit, name);
  // However the text changes (typing, paste, an input method, a screen
  // reader or an automation tool through the accessibility tree), the model
  // holds what the field shows; only the render's own writes are quiet.
  QObject::connect(edit, &QLineEdit::textChanged, edit, [&view, &box, edit](const QString& text) {
    if (!view.Attached() || view.Rendering()) return;
    box.text = text.toStdU16String();
    CopySelection(*edit, box);
  });
  auto copySelection = [&view, &box, edit] {
    if (view.Attached() && !view.Rendering()) CopySelection(*edit, box);
  };
  QObject::connect(edit, &QLineEdit::selectionChanged, edit, copySelection);
  QObject::connect(edit, &QLineEdit::cursorPositionChanged, edit, copySelection);
  view.Bind(*edit, &box, [&box, edit] { RenderTextBox(box, *edit); });
  return *edit;
}

QLabel& AddLabel(WindowView& view, forms::Label& label, const char* name, bool wrap) {
  auto* shown = new QLabel(&view);
  Name(*shown, name);
  shown->setTextFormat(Qt::PlainText);
  shown->setWordWrap(wrap);
  shown->setAlignment(Qt::AlignLeft | (wrap ? Qt::AlignTop : Qt::AlignVCenter));
  view.Bind(*shown, &label, [&label, shown] {
    const QString caption = ToQt(label.caption);
    if (shown->text() != caption) shown->setText(caption);
    RenderCommon(*shown, label);
  });
  return *shown;
}

QPushButton& AddButton(WindowView& view, forms::Button& button, const char* name, const QString& picture,
                       const Handler& click, const Dispatch& dispatch, bool mnemonic) {
  QPushButton* shown = picture.isEmpty() ? new QPushButton(&view) : new PictureButton(picture, &view);
  Name(*shown, name);
  shown->setAutoDefault(false);  // the window decides what Enter presses
  if (click) {
    QObject::connect(shown, &QPushButton::clicked, shown, [&view, click, dispatch] {
      if (view.Attached()) dispatch(click);
    });
  }
  const bool captioned = picture.isEmpty();
  const QString mark = mnemonic ? QStringLiteral("&") : QString();
  view.Bind(*shown, &button, [&button, shown, captioned, mark] {
    if (captioned) shown->setText(mark + ToQt(button.caption));
    RenderCommon(*shown, button);
  });
  return *shown;
}

QCheckBox& AddCheckBox(WindowView& view, forms::CheckBox& box, const char* name, const QString& text,
                       const Handler& click, const Dispatch& dispatch) {
  auto* shown = new QCheckBox(text, &view);
  Name(*shown, name);
  // Toggled, not clicked: a box ticked through the accessibility tree or the
  // keyboard changes the model and runs the handler as a click does.
  QObject::connect(shown, &QCheckBox::toggled, shown, [&view, &box, click, dispatch](bool ticked) {
    if (!view.Attached() || view.Rendering()) return;
    box.value = ticked ? 1 : 0;
    if (click) dispatch(click);
  });
  view.Bind(*shown, &box, [&box, shown] {
    const QSignalBlocker quiet(shown);
    shown->setChecked(box.value == 1);
    RenderCommon(*shown, box);
  });
  return *shown;
}

std::vector<QAbstractButton*> AddOptionArray(WindowView& view, forms::OptionArray& options, size_t count,
                                             const char* name, const Handler& click, const Dispatch& dispatch) {
  auto* group = new QButtonGroup(&view);
  std::vector<QAbstractButton*> buttons;
  for (size_t index = 0; index < count; ++index) {
    auto* option = new QRadioButton(&view);
    option->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(index));
    group->addButton(option, static_cast<int>(index));
    buttons.push_back(option);
    const auto chosen = static_cast<int16_t>(index);
    QObject::connect(option, &QRadioButton::toggled, option, [&view, &options, chosen, click, dispatch](bool on) {
      if (!on || !view.Attached() || view.Rendering()) return;
      options.selected = chosen;
      if (click) dispatch(click);
    });
  }
  view.Bind(*buttons.front(), &options, [&options, group, buttons] {
    // An exclusive group cannot show "none selected"; drop the rule meanwhile.
    group->setExclusive(false);
    for (size_t index = 0; index < buttons.size(); ++index) {
      QAbstractButton& option = *buttons[index];
      const QSignalBlocker quiet(option);
      const bool selected = options.IsSelected(static_cast<int16_t>(index));
      const QString caption = index < options.captions.size() ? ToQt(options.captions[index]) : QString();
      option.setText(caption);
      option.setChecked(selected);
      option.setEnabled(options.enabled);
      option.setVisible(options.visible && (!caption.isEmpty() || selected));
    }
    group->setExclusive(true);
  });
  // The other buttons of the array name the same control for the focus.
  for (size_t index = 1; index < buttons.size(); ++index) view.Bind(*buttons[index], &options, [] {});
  return buttons;
}

QComboBox& AddComboBox(WindowView& view, forms::ComboBox& combo, const char* name) {
  auto* shown = new QComboBox(&view);
  Name(*shown, name);
  shown->setEditable(true);
  shown->setInsertPolicy(QComboBox::NoInsert);  // typed text is the value, not a new entry
  QObject::connect(shown, &QComboBox::editTextChanged, shown, [&view, &combo](const QString& text) {
    if (view.Attached() && !view.Rendering()) combo.text = text.toStdU16String();
  });
  view.Bind(*shown, &combo, [&combo, shown] {
    const QSignalBlocker quiet(shown);
    QStringList entries;
    for (const std::u16string& entry : combo.list) entries << ToQt(entry);
    QStringList current;
    for (int index = 0; index < shown->count(); ++index) current << shown->itemText(index);
    if (current != entries) {
      shown->clear();
      shown->addItems(entries);
    }
    const QString text = ToQt(combo.text);
    if (shown->currentText() != text) shown->setEditText(text);
    RenderCommon(*shown, combo);
    RenderBackColour(*shown, combo.backColour);
  });
  return *shown;
}

int32_t ListRowOf(const QModelIndex& index) {
  return index.isValid() ? index.data(LogicRowRole).toInt() : forms::NoSelectedRow;
}

CameraRows* ListRows(const QTreeView& tree) {
  const auto* sorted = qobject_cast<const QSortFilterProxyModel*>(tree.model());
  return sorted == nullptr ? nullptr : qobject_cast<CameraRows*>(sorted->sourceModel());
}

QTreeView& AddListView(WindowView& view, forms::ListView& list, const char* name, const Handler& event9,
                       const Handler& event10, const Dispatch& dispatch, RowNoteFunction note) {
  auto* tree = new QTreeView(&view);
  Name(*tree, name);
  auto* rows = new CameraRows(std::move(note), tree);
  auto* sorted = new CameraSort(*rows, tree);
  tree->setModel(sorted);
  tree->setRootIsDecorated(false);
  tree->setUniformRowHeights(true);
  tree->setAllColumnsShowFocus(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree->setSortingEnabled(true);
  tree->sortByColumn(-1, Qt::AscendingOrder);  // the search's order until the user sorts
  tree->header()->setStretchLastSection(true);
  tree->header()->setSectionResizeMode(QHeaderView::Interactive);
  QObject::connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, tree,
                   [&view, &list, tree, rows, event9, dispatch] {
                     if (!view.Attached() || rows->Heard()) return;
                     const QModelIndexList chosen = tree->selectionModel()->selectedRows();
                     list.selectedRow = chosen.isEmpty() ? forms::NoSelectedRow : ListRowOf(chosen.front());
                     if (event9) dispatch(event9);
                   });
  QObject::connect(tree, &QTreeView::doubleClicked, tree,
                   [&view, &list, rows, event10, dispatch](const QModelIndex& index) {
                     if (!view.Attached() || rows->Heard()) return;
                     list.selectedRow = ListRowOf(index);
                     if (event10) dispatch(event10);
                   });
  view.Bind(*tree, &list.control, [&list, tree, rows, sorted] { RenderListView(list, *tree, *rows, *sorted); });
  return *tree;
}

QFrame& AddPanel(WindowView& view, forms::Control& panel, const char* name) {
  auto* frame = new QFrame(&view);
  Name(*frame, name);
  frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  view.Bind(*frame, nullptr, [&panel, frame] { RenderCommon(*frame, panel); });
  return *frame;
}

}  // namespace desktop
