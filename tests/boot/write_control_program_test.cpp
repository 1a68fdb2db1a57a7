// The image goes to the chip unchanged, so a typing error in the table is a
// broken chip: the table is pinned by its length and fingerprint.
#include <gtest/gtest.h>

#include <cstring>

#include "sha256.h"
#include "write_control_program.h"

namespace {

std::string Sha256Of(const char* text) {
  return Sha256Hex(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

TEST(WriteControlProgram, HasTheKnownLengthAndFingerprint) {
  // The fingerprint helper itself, on the standard vectors (one of them
  // needs a second padding block).
  ASSERT_EQ(Sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  ASSERT_EQ(Sha256Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ASSERT_EQ(Sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

  EXPECT_EQ(kWriteControlProgramSize, 837u);
  EXPECT_EQ(Sha256Hex(kWriteControlProgram, kWriteControlProgramSize),
            "d52de55b6a8b08eba2e9ef28444e6bf4114013327407783f6039690fb905f919");
}

}  // namespace
