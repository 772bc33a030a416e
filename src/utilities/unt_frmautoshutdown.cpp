#include "utilities/unt_frmautoshutdown.h"

#include <cstdio>

#include "base/text.h"

namespace utilities {

std::string FormatTimeOfDay(int minutes) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60 % 24, minutes % 60);
  return text;
}

std::optional<int> ParseTimeOfDay(const std::string& text) {
  const std::string_view t = base::Trim(text);
  const size_t colon = t.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || t.size() - colon != 3) return std::nullopt;
  int h = 0, m = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (i == colon) continue;
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    (i < colon ? h : m) = (i < colon ? h : m) * 10 + (t[i] - '0');
  }
  if (h > 23 || m > 59) return std::nullopt;
  return h * 60 + m;
}

int Tfrmshutdown::NowMinutes() {
  const base::DateTimeParts now = base::DecodeDateTime(host_.Now());
  return now.hour * 60 + now.minute;
}

void Tfrmshutdown::FormShow() {
  closeRequested = false;
  focusTime = false;
  label = stored_ ? kShutdownSetLabel + FormatTimeOfDay(*stored_) : std::string(kShutdownNotSet);
  timeText = FormatTimeOfDay(stored_.value_or(0));
}

void Tfrmshutdown::SetShutdownTime() {
  const auto chosen = ParseTimeOfDay(timeText);
  // Minutes are compared: the current minute itself is still to come.
  if (!chosen || NowMinutes() > *chosen) {
    host_.ShowMessage(chosen ? kShutdownPassed : kShutdownBadTime);
    focusTime = true;
    return;
  }
  stored_ = *chosen;
  timerOn_ = true;
  host_.SetDatePane(kShutdownPane + FormatTimeOfDay(*chosen));
  closeRequested = true;
}

void Tfrmshutdown::ResetShutdownTime() {
  stored_.reset();
  timerOn_ = false;
  label = kShutdownNotSet;
  // The pane no longer announces a shutdown that will not come.
  host_.SetDatePane("");
}

void Tfrmshutdown::ShutdownTick() {
  if (!timerOn_ || !stored_) return;
  if (NowMinutes() != *stored_) return;
  timerOn_ = false;
  host_.ShutdownComputer();
}

}  // namespace utilities
