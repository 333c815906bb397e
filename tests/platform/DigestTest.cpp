#include "platform/Digest.h"

#include <gtest/gtest.h>
using namespace qbk::platform;
// On Windows these run on CNG, elsewhere on OpenSSL: both must give the published values.
TEST(Digest, KnownVectorsInUnevenPiecesAndFromFiles) {
    Digest sha1(HashAlgorithm::Sha1), sha256(HashAlgorithm::Sha256);
    ASSERT_TRUE(sha1.isValid());
    for (const char* piece : {"a", "", "bc"})
        sha1.update(std::string_view(piece));
    sha256.update(std::string_view("abc"));
    EXPECT_EQ(sha1.finishHex() + sha256.finishHex(),
              "a9993e364706816aba3e25717850c26c9cd0d89d"
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::filesystem::path data = QBK_TESTDATA_DIR, json = data / "minecraft" / "1.21.5.json";
    EXPECT_EQ(hashFileHex(json, HashAlgorithm::Sha1), "3bd9a435263080a3131582cf56884f8bfd9c2d26");
    EXPECT_EQ(hashFileHex(json, HashAlgorithm::Sha256),
              "4dfe6b2ff65043875d4f24c54ec9bee3d60f795eabe8d55765a833c78bc2adcb");
    // A directory opens on POSIX but every read fails: that must not hash as empty input.
    EXPECT_EQ(hashFileHex(data / "no-such-file", HashAlgorithm::Sha1) +
                  hashFileHex(data, HashAlgorithm::Sha1),
              "");
}
