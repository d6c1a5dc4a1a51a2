#include "credential_chunks.h"

#include <gtest/gtest.h>

namespace {

CredentialBytes Bytes(size_t count) {
  CredentialBytes data(count);
  for (size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

TEST(CredentialChunks, TargetNamesPrefixTheKeyAndNumberTheContinuations) {
  EXPECT_EQ(CredentialTargetName("oauth_access_token_ciudadano", 0),
            "Murako_Sendaro_oauth_access_token_ciudadano");
  EXPECT_EQ(CredentialTargetName("k", 1), "Murako_Sendaro_k#1");
  EXPECT_EQ(CredentialTargetName("k", 12), "Murako_Sendaro_k#12");
}

TEST(CredentialChunks, ValuesUpToTheLimitStayOnePart) {
  for (size_t size : {size_t{1}, size_t{2559}, size_t{2560}}) {
    std::vector<CredentialBytes> parts = SplitCredentialBlob(Bytes(size));
    ASSERT_EQ(parts.size(), 1u) << size;
    EXPECT_EQ(parts[0], Bytes(size));
  }
}

TEST(CredentialChunks, LongerValuesSplitIntoFullPartsAndARest) {
  CredentialBytes data = Bytes(2560 * 3 + 17);
  std::vector<CredentialBytes> parts = SplitCredentialBlob(data);
  ASSERT_EQ(parts.size(), 4u);
  CredentialBytes joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(parts[i].size(), i < 3 ? 2560u : 17u);
    joined.insert(joined.end(), parts[i].begin(), parts[i].end());
  }
  EXPECT_EQ(joined, data);

  EXPECT_EQ(SplitCredentialBlob(Bytes(5120)).size(), 2u);
}

TEST(CredentialChunks, OnlyAFullPartAnnouncesAContinuation) {
  EXPECT_TRUE(MayHaveContinuation(2560));
  EXPECT_FALSE(MayHaveContinuation(2559));
  EXPECT_FALSE(MayHaveContinuation(0));
}

}  // namespace
