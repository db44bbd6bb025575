#include "desktop/layouts.h"

#include <QFont>
#include <QGridLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTreeView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <variant>

#include "wizard/frm_main.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_message.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_sys_about.h"
#include "wizard/frm_wireless.h"

namespace desktop {

namespace {

// Where a widget stands in its window's grid.
struct Cell {
  int row = 0;
  int column = 0;
  int rowSpan = 1;
  int columnSpan = 1;
};
// Not in the grid: the row of buttons along the bottom, in the order given.
constexpr Cell ButtonBar{-1, -1};

// A fixed caption of the window, tied to the field or value it names
// (buddy: that widget's name).
struct CaptionAt {
  const char* text;
  Cell place;
  const char* buddy;
};
// Fixed wording across the window, wrapped.
struct ParagraphAt {
  const char* text;
  Cell place;
};
// One control of a window of type F, named by its member.
template <class F>
struct PanelAt {
  forms::Control F::*panel;
  const char* name;
  Cell place;
};
template <class F>
struct LabelAt {
  forms::Label F::*label;
  const char* name;
  Cell place;
  const char* buddy = nullptr;  // the field this label names
  bool wrap = false;
  bool heading = false;
};
template <class F>
struct TextAt {
  forms::TextBox F::*box;
  const char* name;
  Cell place;
};
template <class F>
struct ButtonAt {
  forms::Button F::*button;
  const char* name;
  Cell place;
  void (F::*click)();
  QString picture;  // the painted wording, & before the mnemonic; empty: a captioned button
  const char* tip = nullptr;
  bool mnemonic = false;  // a captioned button's first letter is its mnemonic
};
template <class F>
struct CheckAt {
  forms::CheckBox F::*box;
  const char* name;
  Cell place;
  void (F::*click)();
  QString text;  // what ticking it changes, & before the mnemonic
};
// The options side by side in a group titled with their caption, each
// named by its own text.
template <class F>
struct OptionsAt {
  forms::OptionArray F::*options;
  const char* name;
  Cell place;
  size_t count;
  void (F::*click)();
  const char* caption;  // & before the mnemonic
};
template <class F>
struct ComboAt {
  forms::ComboBox F::*combo;
  const char* name;
  Cell place;
};
template <class F>
struct ListAt {
  forms::ListView F::*list;
  const char* name;
  Cell place;
  void (F::*event9)();
  void (F::*event10)();
  RowNote (*note)(const forms::ListView::Row& row) = nullptr;
  const char* accessibleName = "";  // what a screen reader calls the list
};

template <class F>
using Place = std::variant<CaptionAt, ParagraphAt, PanelAt<F>, LabelAt<F>, TextAt<F>, ButtonAt<F>, CheckAt<F>,
                           OptionsAt<F>, ComboAt<F>, ListAt<F>>;

template <class F>
struct Layout {
  QString heading;                      // across the top; empty: none
  std::vector<Place<F>> places;         // panels first: later widgets lie on top
  void (*close)(F& window);             // closing the window from its frame
  const char* defaultButton = nullptr;  // the button Enter presses; none when empty
  bool evenColumns = false;             // two columns of fields side by side
  bool enterRefused = false;            // Enter presses no button, not even the focused one
};

template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};
// Clang before 17 deduces no aggregate's arguments by itself.
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

// An entry field shows at least this many characters.
constexpr int FieldCharacters = 18;

void Put(WindowView& view, QWidget& widget, const Cell& place) {
  if (place.row == ButtonBar.row) {
    view.ButtonRow().addWidget(&widget);
  } else {
    view.Grid().addWidget(&widget, place.row, place.column, place.rowSpan, place.columnSpan);
  }
}

// A caption's words, without its mnemonic mark or closing colon.
QString Plain(const QString& text) {
  QString plain = text;
  plain = plain.remove(u'&').trimmed();
  if (plain.endsWith(u':')) plain.chop(1);
  return plain.trimmed();  // a space may stand before the colon
}

// The caption leads the keyboard to its field (its mnemonic) and names it to
// a screen reader: an entry field is named by the caption, a value is read
// as "caption: value". Both follow the caption and the value as they change.
void TieCaption(WindowView& view, QLabel& caption, const char* buddy) {
  if (buddy == nullptr) return;
  auto* field = view.findChild<QWidget*>(QString::fromLatin1(buddy));
  if (field == nullptr) return;
  caption.setBuddy(field);
  if (auto* value = qobject_cast<QLabel*>(field)) {
    view.Bind(*value, nullptr, [&caption, value] {
      value->setAccessibleName(Plain(caption.text()) + QStringLiteral(": ") + value->text());
    });
  } else {
    view.Bind(*field, nullptr, [&caption, field] { field->setAccessibleName(Plain(caption.text())); });
  }
}

template <class F>
WindowView* Build(const Layout<F>& layout, F& window, const Dispatch& dispatch) {
  auto* view = new WindowView(window.form);
  view->SetHeading(layout.heading);
  auto handler = [&window](void (F::*member)()) -> Handler {
    if (member == nullptr) return {};
    return [&window, member] { (window.*member)(); };
  };
  std::vector<std::pair<QLabel*, const char*>> captions;  // tied once every field exists
  for (const Place<F>& place : layout.places) {
    std::visit(
        Overloaded{
            [&](const CaptionAt& at) {
              auto* caption = new QLabel(QString::fromUtf8(at.text), view);
              Put(*view, *caption, at.place);
              captions.emplace_back(caption, at.buddy);
            },
            [&](const ParagraphAt& at) {
              auto* paragraph = new QLabel(QString::fromUtf8(at.text), view);
              paragraph->setWordWrap(true);
              paragraph->setTextFormat(Qt::PlainText);
              Put(*view, *paragraph, at.place);
            },
            [&](const PanelAt<F>& at) { Put(*view, AddPanel(*view, window.*at.panel, at.name), at.place); },
            [&](const LabelAt<F>& at) {
              QLabel& label = AddLabel(*view, window.*at.label, at.name, at.wrap);
              if (at.heading) {
                QFont bold = label.font();
                bold.setBold(true);
                bold.setPointSizeF(bold.pointSizeF() * 1.3);
                label.setFont(bold);
              }
              Put(*view, label, at.place);
              captions.emplace_back(&label, at.buddy);
            },
            [&](const TextAt<F>& at) {
              QLineEdit& edit = AddTextBox(*view, window.*at.box, at.name);
              edit.setMinimumWidth(edit.fontMetrics().averageCharWidth() * FieldCharacters);
              Put(*view, edit, at.place);
            },
            [&](const ButtonAt<F>& at) {
              QPushButton& button =
                  AddButton(*view, window.*at.button, at.name, at.picture, handler(at.click), dispatch, at.mnemonic);
              if (at.tip != nullptr) button.setToolTip(QString::fromUtf8(at.tip));
              if (!at.picture.isEmpty()) button.setAccessibleName(Plain(at.picture));
              Put(*view, button, at.place);
            },
            [&](const CheckAt<F>& at) {
              Put(*view, AddCheckBox(*view, window.*at.box, at.name, at.text, handler(at.click), dispatch), at.place);
            },
            [&](const OptionsAt<F>& at) {
              auto* group = new QGroupBox(QString::fromUtf8(at.caption), view);
              group->setObjectName(QString::fromLatin1(at.name));
              auto* row = new QHBoxLayout(group);
              forms::OptionArray& options = window.*at.options;
              for (QAbstractButton* option :
                   AddOptionArray(*view, options, at.count, at.name, handler(at.click), dispatch)) {
                row->addWidget(option);
              }
              row->addStretch(1);
              view->Bind(*group, nullptr, [&options, group] { group->setVisible(options.visible); });
              Put(*view, *group, at.place);
            },
            [&](const ComboAt<F>& at) { Put(*view, AddComboBox(*view, window.*at.combo, at.name), at.place); },
            [&](const ListAt<F>& at) {
              view->LetGridGrow();
              view->Grid().setRowStretch(at.place.row + at.place.rowSpan - 1, 1);
              QTreeView& list =
                  AddListView(*view, window.*at.list, at.name, handler(at.event9), handler(at.event10), dispatch,
                              at.note == nullptr ? RowNoteFunction() : RowNoteFunction(at.note));
              list.setAccessibleName(QString::fromUtf8(at.accessibleName));
              Put(*view, list, at.place);
            },
        },
        place);
  }
  for (const auto& [caption, buddy] : captions) TieCaption(*view, *caption, buddy);
  if (layout.evenColumns) view->Grid().setColumnStretch(0, 1);
  if (layout.defaultButton != nullptr) {
    view->SetDefaultButton(view->findChild<QPushButton*>(QString::fromLatin1(layout.defaultButton)));
  }
  if (layout.enterRefused) view->RefuseEnter();
  view->ApplyTabOrder();
  if (layout.close != nullptr) {
    view->onClose = [&window, close = layout.close, dispatch] { dispatch([&window, close] { close(window); }); };
  }
  return view;
}

template <class F>
WindowView* BuildIfLoaded(std::unique_ptr<F>& window, const Layout<F>& layout, const Dispatch& dispatch) {
  return window ? Build(layout, *window, dispatch) : nullptr;
}

constexpr char BackTip[] = "Go back to the previous step; nothing is written";
constexpr char NextTip[] = "Check this step's entries and go on to the next step";
constexpr char ExitTip[] = "Leave the wizard without writing anything to the camera";

// A camera of the family without a login says so on its row, after its
// Mode; the tip the logic gave a row (a camera outside the computer's
// networks) comes with it.
constexpr size_t ModeCell = 3;
RowNote OpenCameraNote(const forms::ListView::Row& row) {
  const QString logicTip = QString::fromStdU16String(row.tip);
  if (FamilyOfMode(row.cells[ModeCell]) != FamilyPlain) return {{}, logicTip};
  static const QString tip = QString::fromStdU16String(NoAccessControlText);  // one text shared by every row
  return {QStringLiteral("no login (open)"), logicTip.isEmpty() ? tip : logicTip + u'\n' + tip};
}

const Layout<FrmMain>& MainLayout() {
  using F = FrmMain;
  static const Layout<F> layout{
      {},
      {
          ButtonAt<F>{&F::CmdWizard,
                      "CmdWizard",
                      {0, 0},
                      &F::CmdWizard_Click,
                      "&Wizard",
                      "Set up the chosen camera step by step"},
          ButtonAt<F>{&F::Command1,
                      "Command1",
                      {1, 0},
                      &F::Command1_Click,
                      "&Search",
                      "Search the network for cameras again (F5)"},
          ButtonAt<F>{&F::CmdLink,
                      "CmdLink",
                      {2, 0},
                      &F::CmdLink_Click,
                      "Web &Page",
                      "Open the chosen camera's web page in the browser"},
          ButtonAt<F>{
              &F::CmdAbout, "CmdAbout", {3, 0}, &F::CmdAbout_Click, "&About", "Version and licence of this program"},
          ButtonAt<F>{&F::CmdExit, "CmdExit", {4, 0}, &F::CmdExit_Click, "E&xit", "End the program"},
          ListAt<F>{
              &F::List, "List", {0, 1, 6, 1}, &F::List_Event9, &F::List_Event10, &OpenCameraNote, "Cameras found"},
      },
      [](F& window) { window.CmdExit_Click(); },
  };
  return layout;
}

// The two login dialogs share their fields and their look; neither button
// answers Enter or Esc.
template <class F>
Layout<F> LoginLayout() {
  return {
      {},
      {
          PanelAt<F>{&F::SSFrame2, "SSFrame2", {0, 0, 1, 2}},
          PanelAt<F>{&F::SSFrame1, "SSFrame1", {1, 0, 2, 2}},
          LabelAt<F>{&F::Label1, "Label1", {1, 0}, "Text1"},
          TextAt<F>{&F::Text1, "Text1", {1, 1}},
          LabelAt<F>{&F::Label2, "Label2", {2, 0}, "TxtPassWord"},
          TextAt<F>{&F::TxtPassWord, "TxtPassWord", {2, 1}},
          ButtonAt<F>{
              &F::CmdYes, "CmdYes", ButtonBar, &F::CmdYes_Click, {}, "Log in to the camera with this ID and password"},
          ButtonAt<F>{&F::CmdCancel, "CmdCancel", ButtonBar, &F::CmdCancel_Click, {}, "Do not log in"},
      },
      [](F& window) { window.CmdCancel_Click(); },
      nullptr,
      false,
      true,
  };
}

const Layout<FrmSetPassword>& SetPasswordLayout() {
  using F = FrmSetPassword;
  static const Layout<F> layout{
      QStringLiteral("Administrator ID and Password"),
      {
          ParagraphAt{"Set up an admin ID and password to secure your camera, then click Next.", {0, 0, 1, 2}},
          CaptionAt{"Admin &ID", {1, 0}, "TxtOldSysAdminID"},
          CaptionAt{"Pass&word", {1, 1}, "TxtOldPassword"},
          TextAt<F>{&F::TxtOldSysAdminID, "TxtOldSysAdminID", {2, 0}},
          TextAt<F>{&F::TxtOldPassword, "TxtOldPassword", {2, 1}},
          CheckAt<F>{&F::ChkUserName, "ChkUserName", {3, 0}, &F::ChkUserName_Click, "C&hange the admin ID"},
          CheckAt<F>{&F::ChkPassword, "ChkPassword", {3, 1}, &F::ChkPassword_Click, "Change the &password"},
          CaptionAt{"New ID", {4, 0}, "TxtNewUserName"},
          TextAt<F>{&F::TxtNewUserName, "TxtNewUserName", {5, 0}},
          CaptionAt{"Reconfirm new ID", {6, 0}, "TxtUserNameReconfirm"},
          TextAt<F>{&F::TxtUserNameReconfirm, "TxtUserNameReconfirm", {7, 0}},
          CaptionAt{"New password", {4, 1}, "TxtNewPassword"},
          TextAt<F>{&F::TxtNewPassword, "TxtNewPassword", {5, 1}},
          CaptionAt{"Reconfirm new password", {6, 1}, "TxtReconfirm"},
          TextAt<F>{&F::TxtReconfirm, "TxtReconfirm", {7, 1}},
          ButtonAt<F>{&F::CmdBack, "CmdBack", ButtonBar, &F::CmdBack_Click, "< &Back", BackTip},
          ButtonAt<F>{&F::CmdNext, "CmdNext", ButtonBar, &F::CmdNext_Click, "&Next >", NextTip},
          ButtonAt<F>{&F::CmdExit, "CmdExit", ButtonBar, &F::CmdExit_Click, "E&xit", ExitTip},
      },
      [](F& window) { window.CmdExit_Click(); },
      "CmdNext",
      true,
  };
  return layout;
}

const Layout<FrmSetIPAddress>& SetIPAddressLayout() {
  using F = FrmSetIPAddress;
  static const Layout<F> layout{
      QStringLiteral("Set IP Address"),
      {
          CaptionAt{"IP &Address", {0, 0}, "TxtIPAddress"},
          TextAt<F>{&F::TxtIPAddress, "TxtIPAddress", {0, 1}},
          CaptionAt{"Subnet &Mask", {1, 0}, "TxtSubnetMask"},
          TextAt<F>{&F::TxtSubnetMask, "TxtSubnetMask", {1, 1}},
          CaptionAt{"Default &Gateway", {2, 0}, "TxtGateway"},
          TextAt<F>{&F::TxtGateway, "TxtGateway", {2, 1}},
          ButtonAt<F>{&F::CmdBack, "CmdBack", ButtonBar, &F::CmdBack_Click, "< &Back", BackTip},
          ButtonAt<F>{&F::CmdNext, "CmdNext", ButtonBar, &F::CmdNext_Click, "&Next >", NextTip},
          ButtonAt<F>{&F::CmdExit, "CmdExit", ButtonBar, &F::CmdExit_Click, "E&xit", ExitTip},
      },
      [](F& window) { window.CmdExit_Click(); },
      "CmdNext",
  };
  return layout;
}

const Layout<FrmWireless>& WirelessLayout() {
  using F = FrmWireless;
  static const Layout<F> layout{
      QStringLiteral("Wireless Interface"),
      {
          OptionsAt<F>{&F::optConnectionMode, "optConnectionMode", {0, 0, 1, 2}, 3, nullptr, "Connection &Mode"},
          CaptionAt{"Network Name (&SSID)", {1, 0}, "txtWlanESSID"},
          TextAt<F>{&F::txtWlanESSID, "txtWlanESSID", {1, 1}},
          CaptionAt{"Wireless &Channel", {2, 0}, "CboChannel"},
          ComboAt<F>{&F::CboChannel, "CboChannel", {2, 1}},
          CaptionAt{"Old Encryption WEP Key", {3, 0}, "txtWlanWEPKey"},
          TextAt<F>{&F::txtWlanWEPKey, "txtWlanWEPKey", {3, 1}},
          OptionsAt<F>{&F::optWEPKeyFormat, "optWEPKeyFormat", {4, 1}, 2, &F::optWEPKeyFormat_Click, "WEP key &format"},
          CheckAt<F>{&F::CheckEWK, "CheckEWK", {5, 0, 1, 2}, &F::CheckEWK_Click, "Change the &encryption WEP key"},
          CaptionAt{"New Encryption WEP Key", {6, 0}, "txtNewWlanWEPKey"},
          TextAt<F>{&F::txtNewWlanWEPKey, "txtNewWlanWEPKey", {6, 1}},
          CaptionAt{"Reconfirm WEP Key", {7, 0}, "txtWlanWEPKeyConfirm"},
          TextAt<F>{&F::txtWlanWEPKeyConfirm, "txtWlanWEPKeyConfirm", {7, 1}},
          ButtonAt<F>{&F::CmdBack, "CmdBack", ButtonBar, &F::CmdBack_Click, "< &Back", BackTip},
          ButtonAt<F>{&F::CmdNext, "CmdNext", ButtonBar, &F::CmdNext_Click, "&Next >", NextTip},
          ButtonAt<F>{&F::ComExit, "ComExit", ButtonBar, &F::ComExit_Click, "E&xit", ExitTip},
      },
      [](F& window) { window.ComExit_Click(); },
      "CmdNext",
  };
  return layout;
}

constexpr char ClosingText[] =
    "The setup wizard has completed. Click Back to modify the settings, or click Restart to save them and "
    "reboot the camera.";
constexpr char RestartTip[] = "Write these settings into the camera and restart it";

// The two summary pages: the same rows as far as the wired one goes, a
// caption and a value each, then the closing words and the buttons.
template <class F>
std::vector<Place<F>> SummaryPlaces(std::vector<LabelAt<F>> values) {
  static const char* const captions[] = {"Admin ID", "Password", "IP Address", "Subnet", "SSID", "Channel", "WEP Key"};
  std::vector<Place<F>> places;
  int row = 0;
  for (LabelAt<F>& value : values) {
    places.push_back(CaptionAt{captions[row], {row, 0}, value.name});
    value.place = {row, 1};
    places.push_back(value);
    ++row;
  }
  places.push_back(LabelAt<F>{&F::LblAccess, "LblAccess", {row++, 0, 1, 2}, nullptr, true});
  places.push_back(ParagraphAt{ClosingText, {row, 0, 1, 2}});
  places.push_back(
      ButtonAt<F>{&F::CmdBack, "CmdBack", ButtonBar, &F::CmdBack_Click, "< &Back", "Go back and change the settings"});
  places.push_back(ButtonAt<F>{&F::CmdRestart, "CmdRestart", ButtonBar, &F::CmdRestart_Click, "&Restart", RestartTip});
  return places;
}
// Closing a summary page from its frame ends the program, as its
// neighbours' Exit does; nothing is written.
template <class F>
void EndFromSummary(F& window) {
  window.program.desktop.EndProgram();
}

const Layout<FrmSetupEnd>& SetupEndLayout() {
  using F = FrmSetupEnd;
  static const Layout<F> layout{
      QStringLiteral("Setup Summary"),
      SummaryPlaces<F>({{&F::LblID, "LblID", {}},
                        {&F::LblPassword, "LblPassword", {}},
                        {&F::LblIP, "LblIP", {}},
                        {&F::LblSubnet, "LblSubnet", {}},
                        {&F::LblSSID, "LblSSID", {}},
                        {&F::LblChannel, "LblChannel", {}},
                        {&F::LblWebKey, "LblWebKey", {}}}),
      &EndFromSummary<F>,
      "CmdRestart",
  };
  return layout;
}

const Layout<FrmsetLanEnd>& SetLanEndLayout() {
  using F = FrmsetLanEnd;
  static const Layout<F> layout{
      QStringLiteral("Setup Summary"),
      SummaryPlaces<F>({{&F::LblID, "LblID", {}},
                        {&F::LblPassword, "LblPassword", {}},
                        {&F::LblIP, "LblIP", {}},
                        {&F::LblSubnet, "LblSubnet", {}}}),
      &EndFromSummary<F>,
      "CmdRestart",
  };
  return layout;
}

const Layout<FrmMessage>& MessageLayout() {
  using F = FrmMessage;
  static const Layout<F> layout{
      {},
      {
          PanelAt<F>{&F::Frame1, "Frame1", {0, 0}},
          LabelAt<F>{&F::Label2, "Label2", {0, 0}, nullptr, true},
          ButtonAt<F>{
              &F::CmdYes, "CmdYes", ButtonBar, &F::CmdYes_Click, {}, "Change the camera's IP address now", true},
          ButtonAt<F>{
              &F::CmdNo, "CmdNo", ButtonBar, &F::CmdNo_Click, {}, "Keep the address and go back to the list", true},
      },
      [](F& window) { window.CmdNo_Click(); },
  };
  return layout;
}

const Layout<FrmChangeIPAddress>& ChangeIPAddressLayout() {
  using F = FrmChangeIPAddress;
  static const Layout<F> layout{
      {},
      {
          PanelAt<F>{&F::Frame2, "Frame2", {0, 0, 1, 2}},
          LabelAt<F>{&F::Label1, "Label1", {0, 0, 1, 2}, nullptr, false, true},
          PanelAt<F>{&F::Frame1, "Frame1", {1, 0, 3, 2}},
          LabelAt<F>{&F::Label4, "Label4", {1, 0}, "Text1"},
          TextAt<F>{&F::Text1, "Text1", {1, 1}},
          LabelAt<F>{&F::Label5, "Label5", {2, 0}, "Text2"},
          TextAt<F>{&F::Text2, "Text2", {2, 1}},
          LabelAt<F>{&F::Label6, "Label6", {3, 0}, "Text3"},
          TextAt<F>{&F::Text3, "Text3", {3, 1}},
          ButtonAt<F>{&F::CmdOk,
                      "CmdOk",
                      ButtonBar,
                      &F::CmdOk_Click,
                      {},
                      "Give the camera this address; it restarts on it",
                      true},
      },
      // The dialog has no Cancel; closing it gives the change up.
      [](F& window) { Unload(window.program, window.program.changeIPAddress); },
      "CmdOk",
  };
  return layout;
}

const Layout<FrmSysAbout>& SysAboutLayout() {
  using F = FrmSysAbout;
  static const Layout<F> layout{
      QStringLiteral("Sentrova"),
      {
          ParagraphAt{"Setup Wizard for Internet Cameras and Video Servers", {0, 0, 1, 2}},
          CaptionAt{"Version:", {1, 0}, "Label1"},
          LabelAt<F>{&F::Label1, "Label1", {1, 1}},
          ParagraphAt{"Copyright © 2026 The Sentrova developers. This program is protected by copyright law; it "
                      "may be used, copied, changed and passed on only under the terms of its licence, and comes "
                      "without any warranty.",
                      {2, 0, 1, 2}},
          ParagraphAt{"Sentrova is free software under the MIT licence (the file LICENSE). "
                      "Qt is used under the GNU LGPL version 3.",
                      {3, 0, 1, 2}},
          ButtonAt<F>{&F::CmdOk, "CmdOk", ButtonBar, &F::CmdOk_Click, "&OK", "Close this box"},
      },
      [](F& window) { window.CmdOk_Click(); },
      "CmdOk",
  };
  return layout;
}

// What the about box has beyond its model: the Qt version and licence.
void AddAboutQt(WindowView& view) {
  auto* aboutQt = new QPushButton(QStringLiteral("About &Qt"), &view);
  aboutQt->setObjectName(QStringLiteral("AboutQt"));
  aboutQt->setAutoDefault(false);
  aboutQt->setToolTip(QStringLiteral("The version and licence of Qt"));
  QObject::connect(aboutQt, &QPushButton::clicked, &view, [&view] { QMessageBox::aboutQt(&view); });
  view.ButtonRow().insertWidget(1, aboutQt);
}

}  // namespace

WindowView* BuildView(forms::WindowId id, Program& program, const Dispatch& dispatch) {
  using forms::WindowId;
  switch (id) {
    case WindowId::FrmMain:
      return BuildIfLoaded(program.frmMain, MainLayout(), dispatch);
    case WindowId::frmchackIDPWD: {
      static const Layout<frmchackIDPWD> layout = LoginLayout<frmchackIDPWD>();
      return BuildIfLoaded(program.chackIDPWD, layout, dispatch);
    }
    case WindowId::FrmChackPassWord: {
      static const Layout<FrmChackPassWord> layout = LoginLayout<FrmChackPassWord>();
      return BuildIfLoaded(program.chackPassWord, layout, dispatch);
    }
    case WindowId::FrmSetPassword:
      return BuildIfLoaded(program.setPassword, SetPasswordLayout(), dispatch);
    case WindowId::FrmSetIPAddress:
      return BuildIfLoaded(program.setIPAddress, SetIPAddressLayout(), dispatch);
    case WindowId::FrmMessage:
      return BuildIfLoaded(program.message, MessageLayout(), dispatch);
    case WindowId::FrmChangeIPAddress:
      return BuildIfLoaded(program.changeIPAddress, ChangeIPAddressLayout(), dispatch);
    case WindowId::FrmWireless:
      return BuildIfLoaded(program.wireless, WirelessLayout(), dispatch);
    case WindowId::FrmSetupEnd:
      return BuildIfLoaded(program.setupEnd, SetupEndLayout(), dispatch);
    case WindowId::FrmsetLanEnd:
      return BuildIfLoaded(program.setLanEnd, SetLanEndLayout(), dispatch);
    case WindowId::FrmSysAbout: {
      WindowView* view = BuildIfLoaded(program.sysAbout, SysAboutLayout(), dispatch);
      if (view != nullptr) AddAboutQt(*view);
      return view;
    }
  }
  return nullptr;
}

}  // namespace desktop
