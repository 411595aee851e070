#include "app/UiYield.h"

#include <chrono>

namespace ui {
namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kInterval = std::chrono::milliseconds(30);
std::function<void()> g_handler;
Clock::time_point g_last = Clock::now();
long g_count = 0;
}  // namespace

void SetYieldHandler(std::function<void()> handler) { g_handler = std::move(handler); }

void YieldNow() {
  g_last = Clock::now();
  if (g_handler) {
    ++g_count;
    g_handler();
  }
}

void Yield() {
  if (Clock::now() - g_last >= kInterval) YieldNow();
}

long YieldCount() { return g_count; }

bool HasYieldHandler() { return static_cast<bool>(g_handler); }

}  // namespace ui
