// The C library picks its 32-bit maths routines at run time by processor
// features: on a processor with fused multiply-add it runs other code than on
// one without.  Projection and humidity results must not depend on that, so
// the same sweep is run under both choices and the digests compared.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_support.hpp"

namespace {

std::string capture(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return "cannot run " + command;
  std::string text;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  pclose(p);
  return text;
}

TEST(MathsVariants, ProjectionAndHumidityResultsDoNotDependOnFusedMultiplyAdd) {
  const std::string sweep = (rn::test::bin_dir() / "maths_sweep").string();
  const std::string plain = capture("GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4 " + sweep);
  const std::string native = capture(sweep);
  ASSERT_NE(plain.find("humidity"), std::string::npos) << plain;
  EXPECT_EQ(native, plain);
}

}  // namespace
