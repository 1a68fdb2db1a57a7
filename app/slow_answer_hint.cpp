#include "slow_answer_hint.h"

#include <algorithm>
#include <cstdio>

#include "console.h"
#include "line_time.h"
#include "rs.h"

std::string SlowAnswerHint(double medianEchoMs, const std::string& device) {
  if (!(medianEchoMs > kSlowEchoMs)) return "";
  char head[128];
  std::snprintf(head, sizeof head,
                "korvel: the chip's echoes took %.1f ms each (median; the line needs %.1f ms): ", medianEchoMs,
                LineTimeExactMs(2));
#if defined(__EMSCRIPTEN__)
  // In the browser the port has no name of the system's, and the setting is
  // the system's, not the page's.
  (void)device;
  return head + std::string("the USB serial adapter holds received bytes back. Set its latency to 1 ms on this "
                            "computer (Windows: Device Manager, the port, Properties, Port Settings, Advanced, "
                            "Latency Timer; Linux: setserial on its device, low_latency)");
#elif defined(_WIN32)
  return head + std::string("the USB serial adapter holds received bytes back. Set its Latency Timer to 1 ms: "
                            "Device Manager, ") +
         device + ", Properties, Port Settings, Advanced";
#else
  return head + std::string("the serial adapter holds received bytes back. Set its latency to 1 ms: setserial ") +
         device + " low_latency (if its driver does not allow that, use an adapter whose driver does)";
#endif
}

void ReportSlowAnswers(int port, const RunReport& report) {
  if (report.echoUs.empty()) return;  // no echo came
  std::vector<std::uint64_t> echoUs = report.echoUs;  // for their median
  const auto middle = echoUs.begin() + static_cast<std::ptrdiff_t>(echoUs.size() / 2);
  std::nth_element(echoUs.begin(), middle, echoUs.end());
  const std::string hint = SlowAnswerHint(static_cast<double>(*middle) / 1000.0, RsDeviceName(port));
  if (hint.empty()) return;
  std::fflush(stdout);
  PrintErrorLine(hint);
}
