#include "wizard/frm_message.h"
