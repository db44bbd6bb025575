#include "wizard/login_dialog.h"

#include <exception>

#include "wizard/frm_main.h"

LoginFields::LoginFields() {
  Text1.tabIndex = 0;
  TxtPassWord.tabIndex = 1;
  TxtPassWord.passwordChar = u'*';
  CmdYes.tabIndex = 2;
  CmdCancel.tabIndex = 3;
}

bool CameraGrantsAccess(Program& program, std::u16string& adminID, std::u16string& password) {
  try {
    int32_t status = program.CamTemp.LoginState();
    if (status == device::LoginNeeded) {
      status = program.CamTemp.Login(adminID, password);
      if (status == device::LoginNeeded) {
        program.desktop.MessageBox(u"Password Error . Please Re-Enter The Correct Password", program.state.MessageTitle,
                                   forms::MsgIcon::Critical, forms::MsgButtons::OK);
        return false;
      }
    }
    return status == device::LoginGranted;
  } catch (const std::exception& error) {
    ShowCameraError(program, error);
    return false;
  }
}
