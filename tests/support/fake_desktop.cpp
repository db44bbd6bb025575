#include "support/fake_desktop.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "base/text.h"

namespace {
const char* IconName(forms::MsgIcon icon) {
  switch (icon) {
    case forms::MsgIcon::None:
      return "none";
    case forms::MsgIcon::Critical:
      return "critical";
    case forms::MsgIcon::Question:
      return "question";
    case forms::MsgIcon::Exclamation:
      return "exclamation";
    case forms::MsgIcon::Information:
      return "information";
  }
  return "?";
}
const char* ButtonsName(forms::MsgButtons buttons) {
  switch (buttons) {
    case forms::MsgButtons::OK:
      return "ok";
    case forms::MsgButtons::OKCancel:
      return "okcancel";
    case forms::MsgButtons::YesNo:
      return "yesno";
  }
  return "?";
}
}  // namespace

int32_t FakeDesktop::TotalSleep() const { return std::accumulate(sleeps.begin(), sleeps.end(), 0); }

forms::MsgAnswer FakeDesktop::MessageBox(const std::u16string& text, const std::u16string& title, forms::MsgIcon icon,
                                         forms::MsgButtons buttons) {
  messages.push_back({text, title, icon, buttons});
  log_.Add("msgbox \"" + base::ToUtf8(text) + "\" title=\"" + base::ToUtf8(title) + "\" icon=" + IconName(icon) +
           " buttons=" + ButtonsName(buttons));
  if (answers.empty()) return forms::MsgAnswer::OK;
  forms::MsgAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakeDesktop::SetMousePointer(int16_t value) {
  pointer = value;
  log_.Add("pointer " + std::to_string(value));
}

void FakeDesktop::Sleep(int32_t milliseconds) {
  sleeps.push_back(milliseconds);
  sinceAnnounced_ += milliseconds;
  log_.Add("sleep " + std::to_string(milliseconds));
}

// One line with the total of the sequence and the address.
void FakeDesktop::WaitsAhead(const std::vector<forms::Wait>& waits, const forms::CameraSought& camera) {
  announcedWaits = waits;
  soughtCamera = camera;
  sinceAnnounced_ = 0;
  int32_t total = 0;
  for (const forms::Wait& wait : waits) total += wait.milliseconds;
  log_.Add("waits " + std::to_string(total) + " for " + base::ToUtf8(camera.address));
}

// One line per wait: "watch <ms>", and how it ended early.
forms::CameraSeen FakeDesktop::WaitForCamera(int32_t milliseconds, bool lookingOn) {
  int32_t backAt = cameraBackAfter;
  if (backAt == AtTheEnd) {
    backAt = 0;
    for (const forms::Wait& wait : announcedWaits) backAt += wait.milliseconds;
  }
  forms::CameraSeen seen = forms::CameraSeen::NotSeen;
  int32_t waited = milliseconds;
  std::string line = "watch " + std::to_string(milliseconds);
  if (backAt != NeverBack && static_cast<int64_t>(sinceAnnounced_) + milliseconds >= backAt) {
    seen = forms::CameraSeen::Back;
    waited = std::max(0, backAt - sinceAnnounced_);
    line += " back after " + std::to_string(waited);
  } else if (lookingOn && cancelLookingOn) {
    seen = forms::CameraSeen::Cancelled;
    waited = 0;
    line += " cancelled";
  }
  sleeps.push_back(waited);
  sinceAnnounced_ += waited;
  log_.Add(line);
  return seen;
}

void FakeDesktop::WindowShown(forms::WindowId id, bool modal) {
  visible.insert(id);
  log_.Add(std::string("show ") + forms::WindowName(id) + (modal ? " modal" : ""));
  if (!modal) return;
  auto& steps = modalSteps[id];
  while (visible.count(id) != 0) {
    if (steps.empty()) {
      throw std::logic_error(std::string("modal window ") + forms::WindowName(id) +
                             " is still open and the test has no step left for it");
    }
    auto step = std::move(steps.front());
    steps.pop_front();
    step();
  }
}

void FakeDesktop::WindowHidden(forms::WindowId id) {
  visible.erase(id);
  log_.Add(std::string("hide ") + forms::WindowName(id));
}

void FakeDesktop::WindowUnloaded(forms::WindowId id) {
  visible.erase(id);
  log_.Add(std::string("unload ") + forms::WindowName(id));
}

void FakeDesktop::OpenWebPage(const std::string& url) {
  openedPages.push_back(url);
  log_.Add("open " + url);
}

void FakeDesktop::EndProgram() {
  ended = true;
  log_.Add("end");
}
