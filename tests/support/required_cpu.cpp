// Linked into the tests of kernels built for one instruction set only
// (LOWMODE_REQUIRED_CPU names it): on a processor without it, every test is
// skipped rather than run into an illegal instruction.
#include <gtest/gtest.h>

namespace {

class RequiredCpu : public testing::Environment {
 public:
  void SetUp() override {
    if (!__builtin_cpu_supports(LOWMODE_REQUIRED_CPU)) GTEST_SKIP() << "processor lacks " LOWMODE_REQUIRED_CPU;
  }
};

testing::Environment* const required_cpu = testing::AddGlobalTestEnvironment(new RequiredCpu);

}  // namespace
