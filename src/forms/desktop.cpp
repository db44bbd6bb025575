#include "forms/desktop.h"

namespace forms {

const char* WindowName(WindowId id) {
  switch (id) {
    case WindowId::FrmMain:
      return "FrmMain";
    case WindowId::frmchackIDPWD:
      return "frmchackIDPWD";
    case WindowId::FrmChackPassWord:
      return "FrmChackPassWord";
    case WindowId::FrmSetPassword:
      return "FrmSetPassword";
    case WindowId::FrmSetIPAddress:
      return "FrmSetIPAddress";
    case WindowId::FrmMessage:
      return "FrmMessage";
    case WindowId::FrmChangeIPAddress:
      return "FrmChangeIPAddress";
    case WindowId::FrmWireless:
      return "FrmWireless";
    case WindowId::FrmSetupEnd:
      return "FrmSetupEnd";
    case WindowId::FrmsetLanEnd:
      return "FrmsetLanEnd";
    case WindowId::FrmSysAbout:
      return "FrmSysAbout";
  }
  return "?";
}

}  // namespace forms
