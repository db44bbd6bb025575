#include "wizard/frm_chack_id_pwd.h"
