#include "wizard/frm_message.h"

#include "wizard/frm_chack_password.h"

std::u16string InvalidAddressWarning() {
  return u"Your camera's IP Address may be invalid. Please change your camera's IP Address to match your network "
         u"settings, or you will be unable to connect to the camera." +
         std::u16string(84, u' ') + u"Would you like to change the IP Address now?";
}

FrmMessage::FrmMessage(Program& program) : program(program) {
  CmdYes.tabIndex = 0;
  CmdNo.tabIndex = 1;
  forms::SetFocus(form, CmdYes);
}

void FrmMessage::CmdYes_Click() {
  Program& p = program;
  Show(p, p.chackPassWord);
  Unload(p, p.message);
}

void FrmMessage::CmdNo_Click() { Unload(program, program.message); }
