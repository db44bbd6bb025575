#include "wizard/frm_chack_password.h"
