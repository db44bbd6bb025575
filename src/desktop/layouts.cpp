#include "desktop/layouts.h"

#include <QFont>
#include <QLabel>
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

// One control of a window of type F, named by its member.
template <class F>
struct PanelAt {
  forms::Control F::*panel;
  const char* name;
  QRect place;
};
template <class F>
struct LabelAt {
  forms::Label F::*label;
  const char* name;
  QRect place;
  bool wrap = false;
  bool heading = false;
};
template <class F>
struct TextAt {
  forms::TextBox F::*box;
  const char* name;
  QRect place;
};
template <class F>
struct ButtonAt {
  forms::Button F::*button;
  const char* name;
  QRect place;
  void (F::*click)();
  QString picture;  // the painted wording; empty: a captioned button
};
template <class F>
struct CheckAt {
  forms::CheckBox F::*box;
  const char* name;
  QRect place;
  void (F::*click)();
  QString text;
};
template <class F>
struct OptionsAt {
  forms::OptionArray F::*options;
  const char* name;
  std::vector<QRect> places;
  void (F::*click)() = nullptr;
};
template <class F>
struct ComboAt {
  forms::ComboBox F::*combo;
  const char* name;
  QRect place;
};
template <class F>
struct ListAt {
  forms::ListView F::*list;
  const char* name;
  QRect place;
  void (F::*event9)();
  void (F::*event10)();
};

template <class F>
using Place = std::variant<PanelAt<F>, LabelAt<F>, TextAt<F>, ButtonAt<F>, CheckAt<F>, OptionsAt<F>, ComboAt<F>, ListAt<F>>;

template <class F>
struct Layout {
  QSize size;
  Background background;
  std::vector<Place<F>> places;  // panels first: later widgets lie on top
  void (*close)(F& window);      // closing the window from its frame
};

template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};

template <class F>
WindowView* Build(const Layout<F>& layout, F& window, const Dispatch& dispatch) {
  auto* view = new WindowView(window.form, layout.background, layout.size);
  auto handler = [&window](void (F::*member)()) -> Handler {
    if (member == nullptr) return {};
    return [&window, member] { (window.*member)(); };
  };
  for (const Place<F>& place : layout.places) {
    std::visit(Overloaded{
                   [&](const PanelAt<F>& at) { AddPanel(*view, window.*at.panel, at.place, at.name); },
                   [&](const LabelAt<F>& at) {
                     QLabel& label = AddLabel(*view, window.*at.label, at.place, at.name, at.wrap);
                     if (at.heading) {
                       QFont bold = label.font();
                       bold.setBold(true);
                       bold.setPointSizeF(bold.pointSizeF() * 1.3);
                       label.setFont(bold);
                     }
                   },
                   [&](const TextAt<F>& at) { AddTextBox(*view, window.*at.box, at.place, at.name); },
                   [&](const ButtonAt<F>& at) {
                     AddButton(*view, window.*at.button, at.place, at.name, at.picture, handler(at.click), dispatch);
                   },
                   [&](const CheckAt<F>& at) {
                     AddCheckBox(*view, window.*at.box, at.place, at.name, at.text, handler(at.click), dispatch);
                   },
                   [&](const OptionsAt<F>& at) {
                     AddOptionArray(*view, window.*at.options, at.places, at.name, handler(at.click), dispatch);
                   },
                   [&](const ComboAt<F>& at) { AddComboBox(*view, window.*at.combo, at.place, at.name); },
                   [&](const ListAt<F>& at) {
                     AddListView(*view, window.*at.list, at.place, at.name, handler(at.event9), handler(at.event10),
                                 dispatch);
                   },
               },
               place);
  }
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

// The pages share one size, one row of navigation buttons and one style of
// captions.
const QSize PageSize(640, 480);
constexpr int ButtonRow = 416;
QRect NavigationButton(int slot) { return QRect(300 + slot * 110, ButtonRow, 100, 40); }
PaintedText Caption(int x, int y, int width, const char* text) {
  return {QRect(x, y, width, 26), QString::fromUtf8(text), PaintedText::Style::Caption};
}
PaintedText Paragraph(const QRect& place, const char* text) {
  return {place, QString::fromUtf8(text), PaintedText::Style::Paragraph};
}
Background Page(const char* heading, std::vector<PaintedText> texts, std::vector<QRect> groups = {}) {
  return {QString::fromUtf8(heading), std::move(texts), std::move(groups), 0};
}

const Layout<FrmMain>& MainLayout() {
  using F = FrmMain;
  auto column = [](int slot) { return QRect(15, 88 + slot * 62, 120, 46); };
  static const Layout<F> layout{
      QSize(640, 480),
      {QStringLiteral("Setup Wizard"), {}, {}, 150},
      {
          ButtonAt<F>{&F::CmdWizard, "CmdWizard", column(0), &F::CmdWizard_Click, "Wizard"},
          ButtonAt<F>{&F::Command1, "Command1", column(1), &F::Command1_Click, "Search"},
          ButtonAt<F>{&F::CmdLink, "CmdLink", column(2), &F::CmdLink_Click, "Web Page"},
          ButtonAt<F>{&F::CmdAbout, "CmdAbout", column(3), &F::CmdAbout_Click, "About"},
          ButtonAt<F>{&F::CmdExit, "CmdExit", column(4), &F::CmdExit_Click, "Exit"},
          ListAt<F>{&F::List, "List", QRect(166, 80, 460, 386), &F::List_Event9, &F::List_Event10},
      },
      [](F& window) { window.CmdExit_Click(); },
  };
  return layout;
}

// The two login dialogs share their fields and their look.
template <class F>
Layout<F> LoginLayout() {
  return {
      QSize(380, 240),
      {},
      {
          PanelAt<F>{&F::SSFrame2, "SSFrame2", QRect(12, 12, 356, 36)},
          PanelAt<F>{&F::SSFrame1, "SSFrame1", QRect(12, 56, 356, 110)},
          LabelAt<F>{&F::Label1, "Label1", QRect(28, 72, 130, 26)},
          TextAt<F>{&F::Text1, "Text1", QRect(160, 72, 190, 26)},
          LabelAt<F>{&F::Label2, "Label2", QRect(28, 120, 130, 26)},
          TextAt<F>{&F::TxtPassWord, "TxtPassWord", QRect(160, 120, 190, 26)},
          ButtonAt<F>{&F::CmdYes, "CmdYes", QRect(176, 188, 90, 32), &F::CmdYes_Click, {}},
          ButtonAt<F>{&F::CmdCancel, "CmdCancel", QRect(278, 188, 90, 32), &F::CmdCancel_Click, {}},
      },
      [](F& window) { window.CmdCancel_Click(); },
  };
}

const Layout<FrmSetPassword>& SetPasswordLayout() {
  using F = FrmSetPassword;
  static const Layout<F> layout{
      PageSize,
      Page("Administrator ID and Password",
              {
                  Paragraph(QRect(24, 76, 592, 40),
                            "Set up an admin ID and password to secure your camera, then click Next."),
                  Caption(40, 118, 200, "Admin ID"),
                  Caption(340, 118, 200, "Password"),
                  Caption(40, 226, 200, "New ID"),
                  Caption(40, 284, 200, "Reconfirm"),
                  Caption(340, 226, 200, "New Password"),
                  Caption(340, 284, 200, "Reconfirm"),
              },
              {QRect(24, 190, 288, 160), QRect(324, 190, 292, 160)}),
      {
          TextAt<F>{&F::TxtOldSysAdminID, "TxtOldSysAdminID", QRect(40, 144, 240, 26)},
          TextAt<F>{&F::TxtOldPassword, "TxtOldPassword", QRect(340, 144, 240, 26)},
          CheckAt<F>{&F::ChkUserName, "ChkUserName", QRect(36, 196, 200, 24), &F::ChkUserName_Click, "Change"},
          TextAt<F>{&F::TxtNewUserName, "TxtNewUserName", QRect(40, 252, 240, 26)},
          TextAt<F>{&F::TxtUserNameReconfirm, "TxtUserNameReconfirm", QRect(40, 310, 240, 26)},
          CheckAt<F>{&F::ChkPassword, "ChkPassword", QRect(336, 196, 200, 24), &F::ChkPassword_Click, "Change"},
          TextAt<F>{&F::TxtNewPassword, "TxtNewPassword", QRect(340, 252, 240, 26)},
          TextAt<F>{&F::TxtReconfirm, "TxtReconfirm", QRect(340, 310, 240, 26)},
          ButtonAt<F>{&F::CmdBack, "CmdBack", NavigationButton(0), &F::CmdBack_Click, "< Back"},
          ButtonAt<F>{&F::CmdNext, "CmdNext", NavigationButton(1), &F::CmdNext_Click, "Next >"},
          ButtonAt<F>{&F::CmdExit, "CmdExit", NavigationButton(2), &F::CmdExit_Click, "Exit"},
      },
      [](F& window) { window.CmdExit_Click(); },
  };
  return layout;
}

const Layout<FrmSetIPAddress>& SetIPAddressLayout() {
  using F = FrmSetIPAddress;
  static const Layout<F> layout{
      PageSize,
      Page("Set IP Address", {Caption(80, 130, 160, "IP Address"), Caption(80, 186, 160, "Subnet Mask"),
                              Caption(80, 242, 160, "Default Gateway")}),
      {
          TextAt<F>{&F::TxtIPAddress, "TxtIPAddress", QRect(250, 130, 260, 26)},
          TextAt<F>{&F::TxtSubnetMask, "TxtSubnetMask", QRect(250, 186, 260, 26)},
          TextAt<F>{&F::TxtGateway, "TxtGateway", QRect(250, 242, 260, 26)},
          ButtonAt<F>{&F::CmdBack, "CmdBack", NavigationButton(0), &F::CmdBack_Click, "< Back"},
          ButtonAt<F>{&F::CmdNext, "CmdNext", NavigationButton(1), &F::CmdNext_Click, "Next >"},
          ButtonAt<F>{&F::CmdExit, "CmdExit", NavigationButton(2), &F::CmdExit_Click, "Exit"},
      },
      [](F& window) { window.CmdExit_Click(); },
  };
  return layout;
}

const Layout<FrmWireless>& WirelessLayout() {
  using F = FrmWireless;
  static const Layout<F> layout{
      PageSize,
      Page("Wireless Interface",
              {
                  Caption(24, 80, 180, "Connection Mode"),
                  Caption(24, 114, 180, "Network Name (SSID)"),
                  Caption(24, 148, 180, "Wireless Channel"),
                  Caption(24, 182, 180, "Old Encryption WEP Key"),
                  Caption(40, 290, 180, "New Encryption WEP Key"),
                  Caption(40, 326, 180, "Reconfirm WEP Key"),
              },
              {QRect(16, 252, 608, 110)}),
      {
          OptionsAt<F>{&F::optConnectionMode,
                       "optConnectionMode",
                       {QRect(210, 80, 130, 26), QRect(350, 80, 100, 26), QRect(460, 80, 80, 26)}},
          TextAt<F>{&F::txtWlanESSID, "txtWlanESSID", QRect(210, 114, 300, 26)},
          ComboAt<F>{&F::CboChannel, "CboChannel", QRect(210, 148, 100, 26)},
          TextAt<F>{&F::txtWlanWEPKey, "txtWlanWEPKey", QRect(210, 182, 300, 26)},
          OptionsAt<F>{&F::optWEPKeyFormat,
                       "optWEPKeyFormat",
                       {QRect(210, 214, 100, 26), QRect(320, 214, 100, 26)},
                       &F::optWEPKeyFormat_Click},
          CheckAt<F>{&F::CheckEWK, "CheckEWK", QRect(28, 258, 300, 24), &F::CheckEWK_Click,
                     "Change Encryption WEP Key"},
          TextAt<F>{&F::txtNewWlanWEPKey, "txtNewWlanWEPKey", QRect(230, 290, 300, 26)},
          TextAt<F>{&F::txtWlanWEPKeyConfirm, "txtWlanWEPKeyConfirm", QRect(230, 326, 300, 26)},
          ButtonAt<F>{&F::CmdBack, "CmdBack", NavigationButton(0), &F::CmdBack_Click, "< Back"},
          ButtonAt<F>{&F::CmdNext, "CmdNext", NavigationButton(1), &F::CmdNext_Click, "Next >"},
          ButtonAt<F>{&F::ComExit, "ComExit", NavigationButton(2), &F::ComExit_Click, "Exit"},
      },
      [](F& window) { window.ComExit_Click(); },
  };
  return layout;
}

constexpr char ClosingText[] =
    "The setup wizard has completed. Click Back to modify the settings, or click Restart to save them and "
    "reboot the camera.";

// A summary row: its painted caption and the label with the value.
QRect SummaryValue(int row) { return QRect(230, 84 + row * 34, 360, 26); }
PaintedText SummaryCaption(int row, const char* text) { return Caption(60, 84 + row * 34, 160, text); }

// The two summary pages: the same rows as far as the wired one goes.
template <class F>
std::vector<Place<F>> SummaryPlaces() {
  return {
      LabelAt<F>{&F::LblID, "LblID", SummaryValue(0)},
      LabelAt<F>{&F::LblPassword, "LblPassword", SummaryValue(1)},
      LabelAt<F>{&F::LblIP, "LblIP", SummaryValue(2)},
      LabelAt<F>{&F::LblSubnet, "LblSubnet", SummaryValue(3)},
      ButtonAt<F>{&F::CmdBack, "CmdBack", NavigationButton(1), &F::CmdBack_Click, "< Back"},
      ButtonAt<F>{&F::CmdRestart, "CmdRestart", NavigationButton(2), &F::CmdRestart_Click, "Restart"},
  };
}
std::vector<PaintedText> SummaryCaptions(int rows) {
  static const char* const captions[] = {"Admin ID", "Password", "IP Address", "Subnet", "SSID", "Channel", "WEP Key"};
  std::vector<PaintedText> texts;
  for (int row = 0; row < rows; ++row) texts.push_back(SummaryCaption(row, captions[row]));
  texts.push_back(Paragraph(QRect(40, 100 + rows * 34, 560, 60), ClosingText));
  return texts;
}
// Closing a summary page from its frame ends the program, as its
// neighbours' Exit does; nothing is written.
template <class F>
void EndFromSummary(F& window) {
  window.program.desktop.EndProgram();
}

const Layout<FrmSetupEnd>& SetupEndLayout() {
  using F = FrmSetupEnd;
  static const Layout<F> layout = [] {
    Layout<F> wireless{PageSize, Page("Setup Summary", SummaryCaptions(7)), SummaryPlaces<F>(),
                       &EndFromSummary<F>};
    wireless.places.insert(wireless.places.begin() + 4,
                           {LabelAt<F>{&F::LblSSID, "LblSSID", SummaryValue(4)},
                            LabelAt<F>{&F::LblChannel, "LblChannel", SummaryValue(5)},
                            LabelAt<F>{&F::LblWebKey, "LblWebKey", SummaryValue(6)}});
    return wireless;
  }();
  return layout;
}

const Layout<FrmsetLanEnd>& SetLanEndLayout() {
  using F = FrmsetLanEnd;
  static const Layout<F> layout{
      PageSize, Page("Setup Summary", SummaryCaptions(4)), SummaryPlaces<F>(), &EndFromSummary<F>};
  return layout;
}

const Layout<FrmMessage>& MessageLayout() {
  using F = FrmMessage;
  static const Layout<F> layout{
      QSize(440, 250),
      {},
      {
          PanelAt<F>{&F::Frame1, "Frame1", QRect(12, 12, 416, 176)},
          LabelAt<F>{&F::Label2, "Label2", QRect(26, 24, 388, 152), true},
          ButtonAt<F>{&F::CmdYes, "CmdYes", QRect(230, 202, 90, 32), &F::CmdYes_Click, {}},
          ButtonAt<F>{&F::CmdNo, "CmdNo", QRect(330, 202, 90, 32), &F::CmdNo_Click, {}},
      },
      [](F& window) { window.CmdNo_Click(); },
  };
  return layout;
}

const Layout<FrmChangeIPAddress>& ChangeIPAddressLayout() {
  using F = FrmChangeIPAddress;
  static const Layout<F> layout{
      QSize(380, 280),
      {},
      {
          PanelAt<F>{&F::Frame2, "Frame2", QRect(12, 12, 356, 44)},
          LabelAt<F>{&F::Label1, "Label1", QRect(24, 18, 330, 32), false, true},
          PanelAt<F>{&F::Frame1, "Frame1", QRect(12, 64, 356, 150)},
          LabelAt<F>{&F::Label4, "Label4", QRect(28, 80, 110, 26)},
          TextAt<F>{&F::Text1, "Text1", QRect(140, 80, 210, 26)},
          LabelAt<F>{&F::Label5, "Label5", QRect(28, 124, 110, 26)},
          TextAt<F>{&F::Text2, "Text2", QRect(140, 124, 210, 26)},
          LabelAt<F>{&F::Label6, "Label6", QRect(28, 168, 110, 26)},
          TextAt<F>{&F::Text3, "Text3", QRect(140, 168, 210, 26)},
          ButtonAt<F>{&F::CmdOk, "CmdOk", QRect(278, 232, 90, 32), &F::CmdOk_Click, {}},
      },
      // The dialog has no Cancel; closing it gives the change up.
      [](F& window) { Unload(window.program, window.program.changeIPAddress); },
  };
  return layout;
}

const Layout<FrmSysAbout>& SysAboutLayout() {
  using F = FrmSysAbout;
  static const Layout<F> layout{
      QSize(560, 340),
      Page("Setup Wizard for Internet Cameras and Video Servers",
              {
                  Caption(40, 88, 90, "Version:"),
                  Paragraph(QRect(40, 132, 480, 120),
                            "Warning: this computer program is protected by copyright law and international "
                            "treaties. Unauthorized reproduction or distribution of this program, or any portion "
                            "of it, may result in severe civil and criminal penalties, and will be prosecuted to "
                            "the maximum extent possible under the law."),
              }),
      {
          LabelAt<F>{&F::Label1, "Label1", QRect(130, 88, 200, 26)},
          ButtonAt<F>{&F::CmdOk, "CmdOk", QRect(440, 280, 100, 40), &F::CmdOk_Click, "OK"},
      },
      [](F& window) { window.CmdOk_Click(); },
  };
  return layout;
}

}  // namespace

WindowView* BuildView(forms::WindowId id, Program& program, const Dispatch& dispatch) {
  using forms::WindowId;
  switch (id) {
    case WindowId::FrmMain: return BuildIfLoaded(program.frmMain, MainLayout(), dispatch);
    case WindowId::frmchackIDPWD: {
      static const Layout<frmchackIDPWD> layout = LoginLayout<frmchackIDPWD>();
      return BuildIfLoaded(program.chackIDPWD, layout, dispatch);
    }
    case WindowId::FrmChackPassWord: {
      static const Layout<FrmChackPassWord> layout = LoginLayout<FrmChackPassWord>();
      return BuildIfLoaded(program.chackPassWord, layout, dispatch);
    }
    case WindowId::FrmSetPassword: return BuildIfLoaded(program.setPassword, SetPasswordLayout(), dispatch);
    case WindowId::FrmSetIPAddress: return BuildIfLoaded(program.setIPAddress, SetIPAddressLayout(), dispatch);
    case WindowId::FrmMessage: return BuildIfLoaded(program.message, MessageLayout(), dispatch);
    case WindowId::FrmChangeIPAddress:
      return BuildIfLoaded(program.changeIPAddress, ChangeIPAddressLayout(), dispatch);
    case WindowId::FrmWireless: return BuildIfLoaded(program.wireless, WirelessLayout(), dispatch);
    case WindowId::FrmSetupEnd: return BuildIfLoaded(program.setupEnd, SetupEndLayout(), dispatch);
    case WindowId::FrmsetLanEnd: return BuildIfLoaded(program.setLanEnd, SetLanEndLayout(), dispatch);
    case WindowId::FrmSysAbout: return BuildIfLoaded(program.sysAbout, SysAboutLayout(), dispatch);
  }
  return nullptr;
}

}  // namespace desktop
