#include "wizard/frm_change_ip_address.h"
