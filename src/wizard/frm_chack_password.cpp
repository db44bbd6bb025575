#include "wizard/frm_chack_password.h"

#include <string>

#include "wizard/frm_change_ip_address.h"

FrmChackPassWord::FrmChackPassWord(Program& program) : program(program) { forms::SetFocus(form, Text1); }

void FrmChackPassWord::CmdYes_Click() {
  Program& p = program;
  std::u16string adminID = Text1.text;
  std::u16string password = TxtPassWord.text;
  if (!CameraGrantsAccess(p, adminID, password)) return;
  Show(p, p.changeIPAddress);
  Unload(p, p.chackPassWord);
}

void FrmChackPassWord::CmdCancel_Click() { Unload(program, program.chackPassWord); }
