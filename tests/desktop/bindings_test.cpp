// The bindings of each control kind: the model reaches the widget after a
// handler, the user's edits reach the model before the next handler runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "desktop/bindings.h"
#include "desktop/window_view.h"
#include "base/text.h"

namespace {

using desktop::Dispatch;
using desktop::WindowView;

struct TestWindow {
  forms::FormModel form{u"Test Window"};
  forms::TextBox box;
  forms::TextBox other;
  forms::Label label;
  forms::Button button;
  forms::CheckBox check;
  forms::OptionArray options;
  forms::ComboBox combo;
  forms::ListView list;
};

std::string U8(const std::u16string& text) { return base::ToUtf8(text); }

class BindingTest : public testing::Test {
 protected:
  TestWindow model;
  std::vector<std::string> handled;  // each handler run, with what it saw in the model
  WindowView view{model.form, {}, QSize(520, 360)};
  Dispatch dispatch = [this](const std::function<void()>& handler) {
    handler();
    view.Render();
  };

  // Shows the window and makes it the active one, so that focus works.
  void ShowView() {
    view.Render();
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  }
  desktop::Handler Record(const std::string& name, std::function<std::string()> seen = [] { return std::string(); }) {
    return [this, name, seen] { handled.push_back(name + seen()); };
  }
};

struct TextBoxCase {
  const char* what;
  std::u16string text;
  int32_t maxLength;
  char16_t passwordChar;
  bool enabled;
  forms::Colour backColour;
  // expected
  QString shownText;
  QLineEdit::EchoMode echo;
  int widgetMaxLength;
  QColor base;
};

TEST_F(BindingTest, TextBoxShowsTheModel) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, QRect(10, 10, 200, 26), "box");
  const QColor systemBase = QApplication::palette().color(QPalette::Active, QPalette::Base);
  const std::vector<TextBoxCase> cases = {
      {"plain text, no limit", u"abc", 0, 0, true, forms::SystemWindowColour, "abc", QLineEdit::Normal, 32767,
       systemBase},
      {"password shown as its own character", u"secret", 8, u'*', true, forms::SystemWindowColour, "******",
       QLineEdit::Password, 8, systemBase},
      {"switched off: disabled and light grey", u"x", 12, 0, false, forms::LightGrey, "x", QLineEdit::Normal, 12,
       QColor(192, 192, 192)},
      {"a longer text from the logic stays whole", u"0123456789", 5, 0, true, forms::Rgb(10, 20, 30), "0123456789",
       QLineEdit::Normal, 10, QColor(10, 20, 30)},
  };
  for (const TextBoxCase& c : cases) {
    SCOPED_TRACE(c.what);
    model.box.text = c.text;
    model.box.maxLength = c.maxLength;
    model.box.passwordChar = c.passwordChar;
    model.box.enabled = c.enabled;
    model.box.backColour = c.backColour;
    view.Render();
    EXPECT_EQ(edit.text(), QString::fromStdU16String(c.text));
    EXPECT_EQ(edit.displayText(), c.shownText);
    EXPECT_EQ(edit.echoMode(), c.echo);
    EXPECT_EQ(edit.maxLength(), c.widgetMaxLength);
    EXPECT_EQ(edit.isEnabled(), c.enabled);
    EXPECT_EQ(edit.palette().color(QPalette::Active, QPalette::Base), c.base);
    EXPECT_EQ(edit.palette().color(QPalette::Disabled, QPalette::Base), c.base);
  }
}

TEST_F(BindingTest, TypingReachesTheModelBeforeTheHandlerAndStopsAtTheLimit) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, QRect(10, 10, 200, 26), "box");
  auto& button = desktop::AddButton(view, model.button, QRect(10, 50, 100, 30), "button", "Next",
                                    Record("click text=", [this] { return U8(model.box.text); }), dispatch);
  model.box.maxLength = 5;
  ShowView();
  QTest::keyClicks(&edit, "abcdefgh");
  EXPECT_EQ(U8(model.box.text), "abcde");
  EXPECT_EQ(edit.text(), "abcde");
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(handled, (std::vector<std::string>{"click text=abcde"}));
}

TEST_F(BindingTest, ALongTextFromTheLogicCanBeShortenedButNotLengthened) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, QRect(10, 10, 200, 26), "box");
  model.box.text = u"0123456789";
  model.box.maxLength = 5;
  ShowView();
  edit.setFocus();
  edit.end(false);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(U8(model.box.text), "012345678");
  view.Render();
  QTest::keyClicks(&edit, "xy");
  EXPECT_EQ(U8(model.box.text), "012345678");
}

TEST_F(BindingTest, SelectionGoesBothWays) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, QRect(10, 10, 200, 26), "box");
  model.box.text = u"192.168.0.1";
  ShowView();
  // What "{Home}+{End}" leaves in the model: the whole text selected.
  forms::SendKeys(model.box, u"{Home}+{End}");
  view.Render();
  EXPECT_EQ(edit.selectedText(), "192.168.0.1");

  edit.setSelection(4, 3);
  EXPECT_EQ(model.box.selStart, 4);
  EXPECT_EQ(model.box.selLength, 3);

  model.box.selStart = 0;
  model.box.selLength = 0;
  view.Render();
  EXPECT_FALSE(edit.hasSelectedText());
}

TEST_F(BindingTest, FocusGoesBothWays) {
  QLineEdit& first = desktop::AddTextBox(view, model.box, QRect(10, 10, 200, 26), "box");
  QLineEdit& second = desktop::AddTextBox(view, model.other, QRect(10, 50, 200, 26), "other");
  ShowView();
  forms::SetFocus(model.form, model.other);
  view.Render();
  EXPECT_EQ(QApplication::focusWidget(), &second);

  first.setFocus();
  EXPECT_EQ(QApplication::focusWidget(), &first);
  view.FocusMovedTo(&first);  // what the desktop does on the application's focus signal
  EXPECT_EQ(model.form.focus, &model.box);
  view.Render();
  EXPECT_EQ(QApplication::focusWidget(), &first) << "a render keeps the user's focus";
}

TEST_F(BindingTest, LabelShowsCaptionAndVisibility) {
  QLabel& label = desktop::AddLabel(view, model.label, QRect(10, 10, 200, 26), "label");
  ShowView();
  model.label.caption = u"2.61.0";
  view.Render();
  EXPECT_EQ(label.text(), "2.61.0");
  EXPECT_TRUE(label.isVisible());
  model.label.visible = false;
  view.Render();
  EXPECT_FALSE(label.isVisible());
}

TEST_F(BindingTest, PictureButtonPaintsItsWordingAndRunsItsHandlerOnlyWhenEnabled) {
  auto& button = desktop::AddButton(view, model.button, QRect(10, 10, 100, 30), "CmdNext", "Next >",
                                    Record("next"), dispatch);
  ShowView();
  EXPECT_EQ(button.text(), "Next >");
  EXPECT_EQ(button.objectName(), "CmdNext");
  QTest::mouseClick(&button, Qt::LeftButton);
  model.button.enabled = false;
  view.Render();
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(handled, (std::vector<std::string>{"next"}));
}

TEST_F(BindingTest, CaptionedButtonTakesTheModelsCaption) {
  model.button.caption = u"Cancel";
  auto& button = desktop::AddButton(view, model.button, QRect(10, 10, 100, 30), "CmdCancel", {}, {}, dispatch);
  view.Render();
  EXPECT_EQ(button.text(), "Cancel");
}

TEST_F(BindingTest, CheckBoxValueReachesTheModelBeforeItsClickHandler) {
  QCheckBox& box = desktop::AddCheckBox(view, model.check, QRect(10, 10, 200, 24), "ChkUserName", "Change",
                                        Record("click value=", [this] { return std::to_string(model.check.value); }),
                                        dispatch);
  ShowView();
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, box.height() / 2));
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, box.height() / 2));
  EXPECT_EQ(handled, (std::vector<std::string>{"click value=1", "click value=0"}));

  model.check.value = 1;
  view.Render();
  EXPECT_TRUE(box.isChecked());
  EXPECT_EQ(handled.size(), 2U) << "a render raises no click";
}

TEST_F(BindingTest, OptionArraySelectsAndShowsNoneOrACaptionlessOption) {
  model.options.captions = {u"Infrastructure", u"Adhoc", u""};
  const std::vector<QAbstractButton*> buttons = desktop::AddOptionArray(
      view, model.options, {QRect(10, 10, 150, 24), QRect(170, 10, 150, 24), QRect(330, 10, 60, 24)}, "optMode",
      Record("click selected=", [this] { return std::to_string(model.options.selected); }), dispatch);
  ASSERT_EQ(buttons.size(), 3U);
  ShowView();
  EXPECT_EQ(buttons[0]->text(), "Infrastructure");
  EXPECT_EQ(buttons[1]->text(), "Adhoc");
  EXPECT_FALSE(buttons[2]->isVisible()) << "an option without caption hides while not selected";

  QTest::mouseClick(buttons[1], Qt::LeftButton, {}, QPoint(8, buttons[1]->height() / 2));
  EXPECT_EQ(handled, (std::vector<std::string>{"click selected=1"}));
  EXPECT_TRUE(buttons[1]->isChecked());

  model.options.selected = -1;
  view.Render();
  for (QAbstractButton* button : buttons) EXPECT_FALSE(button->isChecked());

  model.options.selected = 2;
  view.Render();
  EXPECT_TRUE(buttons[2]->isVisible());
  EXPECT_TRUE(buttons[2]->isChecked());
  EXPECT_EQ(handled.size(), 1U) << "a render raises no click";
}

TEST_F(BindingTest, ComboBoxListAndTextGoBothWays) {
  QComboBox& combo = desktop::AddComboBox(view, model.combo, QRect(10, 10, 100, 26), "CboChannel");
  model.combo.list = {u"1", u"2", u"3"};
  model.combo.text = u"13";  // not in the list: an editable combo shows it all the same
  ShowView();
  EXPECT_EQ(combo.count(), 3);
  EXPECT_EQ(combo.currentText(), "13");

  combo.setCurrentIndex(1);  // the user picks an entry
  EXPECT_EQ(U8(model.combo.text), "2");
  combo.lineEdit()->clear();
  QTest::keyClicks(combo.lineEdit(), "11");
  EXPECT_EQ(U8(model.combo.text), "11");

  view.Render();
  EXPECT_EQ(combo.count(), 3) << "a render adds no second copy of the list";
}

class ListBindingTest : public BindingTest {
 protected:
  QTreeWidget* tree = nullptr;
  void SetUp() override {
    model.list.headers = {u"Mac Address", u"Current IP Address", u"Assigned", u"Mode"};
    model.list.AddRow(u"Camera 1", 0);
    model.list.CellText(0, 0, u"00 40 8C 01 02 03");
    model.list.CellText(0, 1, u"127.77.0.10");
    model.list.CellText(0, 2, u"ok");
    model.list.CellText(0, 3, u"CS-350");
    model.list.AddRow(u"Camera 2", 1);
    model.list.CellText(1, 1, u"192.168.0.20");
    tree = &desktop::AddListView(view, model.list, QRect(10, 10, 480, 300), "List",
                                 Record("event9 row=", [this] { return std::to_string(model.list.SelectedRow()); }),
                                 Record("event10 row=", [this] { return std::to_string(model.list.SelectedRow()); }),
                                 dispatch);
    ShowView();
  }
  QPoint RowCentre(int row) { return tree->visualItemRect(tree->topLevelItem(row)).center(); }
};

TEST_F(ListBindingTest, ShowsHeadersRowsAndCells) {
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->headerItem()->text(1), "Current IP Address");
  EXPECT_EQ(tree->headerItem()->text(3), "Mode");
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "00 40 8C 01 02 03");
  EXPECT_EQ(tree->topLevelItem(0)->text(3), "CS-350");
  EXPECT_EQ(tree->topLevelItem(1)->text(0), "Camera 2") << "the row text stands in column 0 until a cell replaces it";
  EXPECT_EQ(tree->topLevelItem(1)->text(2), "");
}

TEST_F(ListBindingTest, ChoosingARowRaisesEvent9AndDoubleClickingRaisesEvent10) {
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, RowCentre(1));
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, RowCentre(1));
  EXPECT_EQ(handled, (std::vector<std::string>{"event9 row=1", "event10 row=1"}));
}

TEST_F(ListBindingTest, ARenderMovesTheSelectionAndRebuildsWithoutRaisingEvents) {
  model.list.selectedRow = 1;
  view.Render();
  EXPECT_EQ(tree->indexOfTopLevelItem(tree->currentItem()), 1);
  model.list.ClearRows();
  model.list.AddRow(u"Camera 9", 0);
  view.Render();
  EXPECT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_TRUE(tree->selectedItems().isEmpty());
  EXPECT_TRUE(handled.empty());
}

TEST_F(BindingTest, ADetachedViewLeavesTheModelAlone) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, QRect(10, 10, 200, 26), "box");
  auto& button = desktop::AddButton(view, model.button, QRect(10, 50, 100, 30), "button", "Next", Record("next"),
                                    dispatch);
  ShowView();
  view.Detach();
  QTest::keyClicks(&edit, "typed");
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(U8(model.box.text), "");
  EXPECT_TRUE(handled.empty());
}

}  // namespace
