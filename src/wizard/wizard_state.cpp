#include "wizard/wizard_state.h"

bool NeedsExplicitRestart(const std::u16string& deviceVersion) {
  return deviceVersion.size() >= 8 && deviceVersion[3] == u'0' && deviceVersion.compare(5, 3, u"001") == 0;
}
