#include "platform/Digest.h"

#include "platform/Platform.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace qbk::platform;

namespace {
const std::filesystem::path kTestData = QBK_TESTDATA_DIR;
}

TEST(Digest, KnownVectors) {
    Digest sha1(HashAlgorithm::Sha1);
    ASSERT_TRUE(sha1.isValid());
    sha1.update(std::string_view("abc"));
    EXPECT_EQ(sha1.finishHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");

    Digest sha256(HashAlgorithm::Sha256);
    sha256.update(std::string_view("abc"));
    EXPECT_EQ(sha256.finishHex(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Digest, StartsAfreshAfterFinishAndAcceptsPieces) {
    Digest digest(HashAlgorithm::Sha1);
    digest.update(std::string_view("ignored"));
    digest.finishHex();
    digest.update(std::string_view("a"));
    digest.update(std::string_view(""));
    digest.update(std::string_view("bc"));
    EXPECT_EQ(digest.finishHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(Digest, HashesRealFilesAsPublished) {
    EXPECT_EQ(hashFileHex(kTestData / "minecraft" / "1.21.5.json", HashAlgorithm::Sha1),
              "3bd9a435263080a3131582cf56884f8bfd9c2d26");
    EXPECT_EQ(hashFileHex(kTestData / "other" / "servers.dat", HashAlgorithm::Sha1),
              "81aca287ff807d7c100bedcef721bd6e7f634e5b");
}

TEST(Digest, UnreadableFileHasNoHash) {
    EXPECT_EQ(hashFileHex(kTestData / "no-such-file", HashAlgorithm::Sha1), "");
    // A directory opens on POSIX but every read fails: that must not hash as empty input.
    EXPECT_EQ(hashFileHex(kTestData, HashAlgorithm::Sha1), "");
}
