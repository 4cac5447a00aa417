#include "ledger/image_digest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace srom {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// 0, 1, 2, ... 255, 0, 1, ...: a different byte at every position.
std::vector<std::uint8_t> Counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}

struct Vector {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* digest;
};

// The FIPS 180 examples, then lengths on each side of the point where the
// padding needs a second block (55/56 bytes into a block) and of the block
// size itself, as sha256sum gives them; 256 and 512 are the EEPROM sizes.
const Vector kVectors[] = {
    {"Empty",
     {},
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"Abc", Bytes("abc"),
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"TwoBlockMessage",
     Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"MillionA", std::vector<std::uint8_t>(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {"Counting55", Counting(55),
     "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59"},
    {"Counting56", Counting(56),
     "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562"},
    {"Counting63", Counting(63),
     "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488"},
    {"Counting64", Counting(64),
     "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108"},
    {"Counting65", Counting(65),
     "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781"},
    {"Counting119", Counting(119),
     "da18797ed7c3a777f0847f429724a2d8cd5138e6ed2895c3fa1a6d39d18f7ec6"},
    {"Counting120", Counting(120),
     "f52b23db1fbb6ded89ef42a23ce0c8922c45f25c50b568a93bf1c075420bbb7c"},
    {"Counting128", Counting(128),
     "471fb943aa23c511f6f72f8d1652d9c880cfa392ad80503120547703e56a2be5"},
    {"Counting256", Counting(256),
     "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880"},
    {"Counting512", Counting(512),
     "110009dcee21620b166f3abfecb5eff7a873be729d1c2d53822e7acc5f34eb9b"},
};

class ImageDigestVector : public ::testing::TestWithParam<Vector> {};

TEST_P(ImageDigestVector, IsTheSha256OfTheBytes) {
  EXPECT_EQ(ImageDigest(GetParam().bytes), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(KnownDigests, ImageDigestVector,
                         ::testing::ValuesIn(kVectors), [](const auto& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace srom
