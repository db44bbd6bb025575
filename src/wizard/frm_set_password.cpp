#include "wizard/frm_set_password.h"
