#include "wizard/frm_sys_about.h"

#include "app/frm_main.h"

void FrmSysAbout::CmdOk_Click() {
  Program& p = program;
  Show(p, p.frmMain);
  Unload(p, p.sysAbout);
}
