// The bindings of each control kind: the model reaches the widget after a
// handler, the user's edits reach the model before the next handler runs.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
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
  WindowView view{model.form};
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
  desktop::Handler Record(
      const std::string& name, std::function<std::string()> seen = [] { return std::string(); }) {
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
  QLineEdit& edit = desktop::AddTextBox(view, model.box, "box");
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
  QLineEdit& edit = desktop::AddTextBox(view, model.box, "box");
  auto& button = desktop::AddButton(view, model.button, "button", "Next",
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
  QLineEdit& edit = desktop::AddTextBox(view, model.box, "box");
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
  QLineEdit& edit = desktop::AddTextBox(view, model.box, "box");
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
  QLineEdit& first = desktop::AddTextBox(view, model.box, "box");
  QLineEdit& second = desktop::AddTextBox(view, model.other, "other");
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
  QLabel& label = desktop::AddLabel(view, model.label, "label");
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
  auto& button = desktop::AddButton(view, model.button, "CmdNext", "Next >", Record("next"), dispatch);
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
  auto& button = desktop::AddButton(view, model.button, "CmdCancel", {}, {}, dispatch);
  view.Render();
  EXPECT_EQ(button.text(), "Cancel");
}

// A screen reader, an automation tool, a paste, an input method or the
// program itself: whatever puts the text in, the model holds what shows.
TEST_F(BindingTest, AFieldsTextReachesTheModelHoweverItChanges) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, "box");
  ShowView();
  struct Way {
    const char* what;
    std::function<void()> change;
    QString shown;
  };
  const std::vector<Way> ways = {
      {"accessibility setText",
       [&] { QAccessible::queryAccessibleInterface(&edit)->setText(QAccessible::Value, QStringLiteral("admin")); },
       "admin"},
      {"accessibility insertText",
       [&] {
         QAccessible::queryAccessibleInterface(&edit)->editableTextInterface()->insertText(5, QStringLiteral("1"));
       },
       "admin1"},
      {"accessibility replaceText",
       [&] {
         QAccessible::queryAccessibleInterface(&edit)->editableTextInterface()->replaceText(0, 5,
                                                                                            QStringLiteral("root"));
       },
       "root1"},
      {"setText", [&] { edit.setText(QStringLiteral("cam")); }, "cam"},
      {"paste",
       [&] {
         QGuiApplication::clipboard()->setText(QStringLiteral("era"));
         edit.end(false);
         QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
       },
       "camera"},
      {"input method",
       [&] {
         QInputMethodEvent commit;
         commit.setCommitString(QStringLiteral("ß"));
         QCoreApplication::sendEvent(&edit, &commit);
       },
       "cameraß"},
  };
  for (const Way& way : ways) {
    way.change();
    EXPECT_EQ(edit.text(), way.shown) << way.what;
    EXPECT_EQ(QString::fromStdU16String(model.box.text), way.shown) << way.what;
  }
}

TEST_F(BindingTest, ABoxTickedThroughTheAccessibilityTreeReachesTheModelAndItsHandler) {
  QCheckBox& box =
      desktop::AddCheckBox(view, model.check, "ChkUserName", "Change",
                           Record("click value=", [this] { return std::to_string(model.check.value); }), dispatch);
  ShowView();
  QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(&box)->actionInterface();
  ASSERT_NE(actions, nullptr);
  actions->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(box.isChecked());
  EXPECT_EQ(model.check.value, 1);
  box.setChecked(false);
  EXPECT_EQ(model.check.value, 0);
  EXPECT_EQ(handled, (std::vector<std::string>{"click value=1", "click value=0"}));
}

TEST_F(BindingTest, CheckBoxValueReachesTheModelBeforeItsClickHandler) {
  QCheckBox& box =
      desktop::AddCheckBox(view, model.check, "ChkUserName", "Change",
                           Record("click value=", [this] { return std::to_string(model.check.value); }), dispatch);
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
      view, model.options, 3, "optMode",
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
  QComboBox& combo = desktop::AddComboBox(view, model.combo, "CboChannel");
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
  QTreeView* tree = nullptr;
  void SetUp() override {
    model.list.headers = {u"Mac Address", u"Current IP Address", u"Assigned", u"Mode"};
    AddCamera(u"Front door", u"00 40 8C 01 02 03", u"127.77.0.10", u"CS-350");
    AddCamera(u"Garage", u"00 40 8C 01 02 04", u"127.77.0.9", u"CS-200");
    AddCamera(u"Attic", u"00 40 8C 01 02 05", u"10.0.0.1", u"CS-100");
    tree = &desktop::AddListView(
        view, model.list, "List", Record("event9 row=", [this] { return std::to_string(model.list.SelectedRow()); }),
        Record("event10 row=", [this] { return std::to_string(model.list.SelectedRow()); }), dispatch);
    view.Grid().addWidget(tree, 0, 0);
    view.resize(620, 360);
    ShowView();
  }
  void AddCamera(const std::u16string& name, const std::u16string& mac, const std::u16string& address,
                 const std::u16string& mode) {
    const auto row = static_cast<int16_t>(model.list.rows.size());
    model.list.AddRow(name, row);
    model.list.CellText(row, 0, mac);
    model.list.CellText(row, 1, address);
    model.list.CellText(row, 3, mode);
  }
  QString Shown(int row, int column) { return tree->model()->index(row, column).data().toString(); }
  QPoint RowCentre(int row) { return tree->visualRect(tree->model()->index(row, 1)).center(); }
  void SortBy(int column, Qt::SortOrder order) { tree->sortByColumn(column, order); }
};

TEST_F(ListBindingTest, ShowsANameColumnThenTheModelsHeadersAndCells) {
  ASSERT_EQ(tree->model()->rowCount(), 3);
  const QStringList headers{"Name", "Mac Address", "Current IP Address", "Assigned", "Mode"};
  for (int column = 0; column < headers.size(); ++column) {
    EXPECT_EQ(tree->model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
  }
  EXPECT_EQ(Shown(0, 0), "Front door") << "the name is the text the row was added with";
  EXPECT_EQ(Shown(0, 1), "00 40 8C 01 02 03");
  EXPECT_EQ(Shown(0, 4), "CS-350");
  EXPECT_EQ(Shown(1, 3), "");
}

TEST_F(ListBindingTest, ChoosingARowRaisesEvent9AndDoubleClickingRaisesEvent10) {
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, RowCentre(1));
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, RowCentre(1));
  EXPECT_EQ(handled, (std::vector<std::string>{"event9 row=1", "event10 row=1"}));
}

// Whatever the order on screen, every action reaches the model's row of the
// camera the user pointed at.
struct SortCase {
  int column;
  Qt::SortOrder order;
  QStringList names;  // top to bottom
  int clickedRow;     // on screen
  int modelRow;       // what the logic gets
};

TEST_F(ListBindingTest, ASortedListMapsEveryChoiceBackToTheModelsRow) {
  const SortCase cases[] = {
      {0, Qt::AscendingOrder, {"Attic", "Front door", "Garage"}, 0, 2},
      {0, Qt::DescendingOrder, {"Garage", "Front door", "Attic"}, 0, 1},
      // addresses by their numbers: 10.0.0.1 < 127.77.0.9 < 127.77.0.10
      {2, Qt::AscendingOrder, {"Attic", "Garage", "Front door"}, 2, 0},
      {4, Qt::DescendingOrder, {"Front door", "Garage", "Attic"}, 1, 1},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "column " << c.column);
    handled.clear();
    model.list.selectedRow = forms::NoSelectedRow;
    view.Render();
    SortBy(c.column, c.order);
    QStringList names;
    for (int row = 0; row < 3; ++row) names << Shown(row, 0);
    EXPECT_EQ(names, c.names);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, RowCentre(c.clickedRow));
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, RowCentre(c.clickedRow));
    const std::string row = std::to_string(c.modelRow);
    EXPECT_EQ(handled, (std::vector<std::string>{"event9 row=" + row, "event10 row=" + row}));
    EXPECT_EQ(model.list.SelectedRow(), c.modelRow);
  }
}

TEST_F(ListBindingTest, ARenderMovesTheSelectionAndRebuildsWithoutRaisingEvents) {
  SortBy(0, Qt::AscendingOrder);
  model.list.selectedRow = 0;  // Front door, second on screen
  view.Render();
  EXPECT_EQ(tree->currentIndex().row(), 1);
  EXPECT_EQ(desktop::ListRowOf(tree->currentIndex()), 0);
  model.list.ClearRows();
  model.list.AddRow(u"Camera 9", 0);
  view.Render();
  EXPECT_EQ(tree->model()->rowCount(), 1);
  EXPECT_TRUE(tree->selectionModel()->selectedRows().isEmpty());
  EXPECT_TRUE(handled.empty());
}

TEST_F(BindingTest, ADetachedViewLeavesTheModelAlone) {
  QLineEdit& edit = desktop::AddTextBox(view, model.box, "box");
  auto& button = desktop::AddButton(view, model.button, "button", "Next", Record("next"), dispatch);
  ShowView();
  view.Detach();
  QTest::keyClicks(&edit, "typed");
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(U8(model.box.text), "");
  EXPECT_TRUE(handled.empty());
}

}  // namespace
