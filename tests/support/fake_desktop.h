#pragma once
// A desktop that records every message, pointer change, wait and window move
// in the event log, answers message boxes from a queue and plays the user's
// part in modal windows from scripts.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "forms/desktop.h"
#include "support/event_log.h"

struct ShownMessage {
  std::u16string text;
  std::u16string title;
  forms::MsgIcon icon;
  forms::MsgButtons buttons;
};

class FakeDesktop : public forms::Desktop {
 public:
  explicit FakeDesktop(EventLog& log) : log_(log) {}

  // Answers for message boxes, in order; OK when none is queued.
  std::deque<forms::MsgAnswer> answers;
  // What the user does in a window shown modally: one step after another
  // until the window is hidden or unloaded.
  std::map<forms::WindowId, std::deque<std::function<void()>>> modalSteps;

  std::vector<ShownMessage> messages;
  std::vector<int32_t> sleeps;              // every wait, as long as it lasted
  std::vector<forms::Wait> announcedWaits;  // the last sequence announced
  forms::CameraSought soughtCamera;         // and the camera it was for
  // When the camera watched for is back, in ms since the waits were
  // announced; AtTheEnd: when the announced waits are over.
  static constexpr int32_t AtTheEnd = -1;
  static constexpr int32_t NeverBack = INT32_MAX;
  int32_t cameraBackAfter = AtTheEnd;
  bool cancelLookingOn = false;  // the user cancels the looking on at once
  std::vector<std::string> openedPages;
  std::set<forms::WindowId> visible;
  int16_t pointer = forms::DefaultPointer;
  bool ended = false;

  int32_t TotalSleep() const;

  forms::MsgAnswer MessageBox(const std::u16string& text, const std::u16string& title, forms::MsgIcon icon,
                              forms::MsgButtons buttons) override;
  void SetMousePointer(int16_t value) override;
  void Sleep(int32_t milliseconds) override;
  void WaitsAhead(const std::vector<forms::Wait>& waits, const forms::CameraSought& camera) override;
  forms::CameraSeen WaitForCamera(int32_t milliseconds, bool lookingOn) override;
  // Nothing arrives here while a search runs: FakeCamera answers at once.
  void SearchBegins() override {}
  void SearchEnds() override {}
  void WindowShown(forms::WindowId id, bool modal) override;
  void WindowHidden(forms::WindowId id) override;
  void WindowUnloaded(forms::WindowId id) override;
  void OpenWebPage(const std::string& url) override;
  void EndProgram() override;
  forms::Version ProgramVersion() override { return {2, 61, 0}; }

 private:
  EventLog& log_;
  int32_t sinceAnnounced_ = 0;  // ms waited since the last WaitsAhead
};
