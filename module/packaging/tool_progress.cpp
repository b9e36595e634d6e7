#include "packaging/tool_progress.h"

#include "platform/text.h"

namespace zaro {
namespace {

constexpr std::string_view kRetryNotices[] = {"retrying ", "trying the fallback authority "};

bool StartsWith(std::u16string_view text, std::u16string_view start) { return text.substr(0, start.size()) == start; }

// Enough of a line to tell a retry notice from anything else.
constexpr size_t kLineStartKept = 64;

}  // namespace

void ToolProgressWatcher::Feed(std::string_view chunk) {
  while (!chunk.empty()) {
    const size_t end = chunk.find('\n');
    const std::string_view piece = chunk.substr(0, end);
    if (line_.size() < kLineStartKept) line_.append(piece.substr(0, kLineStartKept - line_.size()));
    if (end == std::string_view::npos) return;
    TakeLine();
    chunk.remove_prefix(end + 1);
  }
}

void ToolProgressWatcher::TakeLine() {
  const std::string_view line(line_);
  if (line.substr(0, kTimestampProgressPrefix.size()) == kTimestampProgressPrefix) {
    const std::string_view rest = line.substr(kTimestampProgressPrefix.size());
    for (std::string_view notice : kRetryNotices) {
      if (rest.substr(0, notice.size()) == notice) retrying_.store(true, std::memory_order_release);
    }
  }
  line_.clear();
}

std::u16string WithoutProgressLines(std::u16string_view output) {
  const std::u16string prefix = FromUtf8(std::string(kTimestampProgressPrefix));
  std::u16string kept;
  while (!output.empty()) {
    const size_t end = output.find(u'\n');
    const std::u16string_view line = output.substr(0, end == std::u16string_view::npos ? output.size() : end + 1);
    if (!StartsWith(line, prefix)) kept += line;
    output.remove_prefix(line.size());
  }
  return kept;
}

void PackagingProgressDlg::OnTimer() {
  if (!IsClosed() && progress_.TimestampRetrying()) {
    if (FormField* status = FindField("status")) status->label = kTimestampRetryingLabel;
  }
  CProgressDlg::OnTimer();
}

}  // namespace zaro
