#include "credential_chunks.h"

#include <gtest/gtest.h>

namespace {

CredentialBytes Bytes(size_t count) {
  CredentialBytes data(count);
  for (size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

// What a reader makes of `parts`: the value, or nothing when the parts do not agree.
std::optional<CredentialBytes> Join(const std::vector<CredentialBytes>& parts) {
  std::optional<CredentialFrame> frame = ReadCredentialFrame(parts[0]);
  if (!frame) return std::nullopt;
  CredentialBytes value = FramedFirstPayload(parts[0]);
  for (size_t index = 1; index <= frame->continuation_count; ++index) {
    if (index >= parts.size() || !AppendFramedContinuation(*frame, index, parts[index], value)) {
      return std::nullopt;
    }
  }
  if (value.size() != frame->total_length) return std::nullopt;
  return value;
}

TEST(CredentialChunks, TargetNamesPrefixTheKeyAndNumberTheContinuations) {
  EXPECT_EQ(CredentialTargetName("oauth_access_token_ciudadano", 0),
            "Murako_Sendaro_oauth_access_token_ciudadano");
  EXPECT_EQ(CredentialTargetName("k", 1), "Murako_Sendaro_k#1");
  EXPECT_EQ(CredentialTargetName("k", 12), "Murako_Sendaro_k#12");
  EXPECT_EQ(CredentialTargetName("k", 0, 1), "Murako_Sendaro_k");
  EXPECT_EQ(CredentialTargetName("k", 3, 1), "Murako_Sendaro_k#b3");
}

TEST(CredentialChunks, ValuesUpToTheLimitStayOnePlainPart) {
  for (size_t size : {size_t{1}, size_t{2559}, size_t{2560}}) {
    std::vector<CredentialBytes> parts = SplitCredentialBlob(Bytes(size), 7);
    ASSERT_EQ(parts.size(), 1u) << size;
    EXPECT_EQ(parts[0], Bytes(size));
    EXPECT_FALSE(ReadCredentialFrame(parts[0]));
  }
  // A short value that begins like a frame is framed, so it is never misread as one.
  CredentialBytes lookalike = {0xFF, 'M', 'K', 'F', 1, 2, 3};
  std::vector<CredentialBytes> parts = SplitCredentialBlob(lookalike, 7);
  EXPECT_EQ(Join(parts), lookalike);
}

TEST(CredentialChunks, LongerValuesAreFramedAndJoinBack) {
  CredentialBytes data = Bytes(2560 * 3 + 17);
  std::vector<CredentialBytes> parts = SplitCredentialBlob(data, 0x1122334455667788ull);
  ASSERT_EQ(parts.size(), 4u);
  for (const CredentialBytes& part : parts) EXPECT_LE(part.size(), kMaxCredentialBlobSize);
  EXPECT_EQ(parts[0].size(), kMaxCredentialBlobSize);
  EXPECT_EQ(ReadCredentialFrame(parts[0])->continuation_count, 3u);
  EXPECT_EQ(Join(parts), data);
}

TEST(CredentialChunks, PartsOfAnotherWriteOrPositionOrAMissingPartNeverJoin) {
  CredentialBytes data = Bytes(6000);
  std::vector<CredentialBytes> first_write = SplitCredentialBlob(data, 1);
  std::vector<CredentialBytes> second_write = SplitCredentialBlob(Bytes(6000), 2);

  std::vector<CredentialBytes> spliced = first_write;
  spliced[1] = second_write[1];
  EXPECT_FALSE(Join(spliced));

  std::vector<CredentialBytes> swapped = first_write;
  std::swap(swapped[1], swapped[2]);
  EXPECT_FALSE(Join(swapped));

  std::vector<CredentialBytes> truncated = first_write;
  truncated.pop_back();
  EXPECT_FALSE(Join(truncated));

  std::vector<CredentialBytes> shortened = first_write;
  shortened[2].pop_back();
  EXPECT_FALSE(Join(shortened));
}

TEST(CredentialChunks, FirstPartsNameTheSlotOfTheirContinuations) {
  for (size_t slot : {size_t{0}, size_t{1}}) {
    std::vector<CredentialBytes> parts = SplitCredentialBlob(Bytes(6000), 9, slot);
    EXPECT_EQ(parts[0][3], slot == 0 ? 'F' : 'G');  // "\xFFMKF" is the layout before slots
    EXPECT_EQ(ReadCredentialFrame(parts[0])->slot, slot);
    EXPECT_EQ(Join(parts), Bytes(6000));
  }
}

// A write fills the slot the current value does not use, and removes only what neither the
// new value nor the one before it needs.
TEST(CredentialChunks, WritesAlternateSlotsAndSweepWhatNoValueNeeds) {
  using Sweeps = std::vector<std::pair<size_t, size_t>>;
  const CredentialBytes framed_in_0 = SplitCredentialBlob(Bytes(6000), 1, 0)[0];
  const CredentialBytes framed_in_1 = SplitCredentialBlob(Bytes(6000), 1, 1)[0];

  CredentialWritePlan plan = PlanCredentialWrite(Bytes(6000), 2, std::nullopt);
  EXPECT_EQ(plan.slot, 0u);
  EXPECT_EQ(plan.parts.size(), 3u);
  EXPECT_EQ(plan.sweeps, (Sweeps{{0, 3}}));
  plan = PlanCredentialWrite(Bytes(6000), 2, framed_in_0);
  EXPECT_EQ(plan.slot, 1u);
  EXPECT_EQ(ReadCredentialFrame(plan.parts[0])->slot, 1u);
  EXPECT_EQ(plan.sweeps, (Sweeps{{1, 3}}));
  EXPECT_EQ(PlanCredentialWrite(Bytes(6000), 2, framed_in_1).slot, 0u);
  EXPECT_EQ(PlanCredentialWrite(Bytes(6000), 2, Bytes(2560)).slot, 0u);

  // A plain value: both slots go when a framed value was there, the first when the value was
  // a full plain part of the unframed layout, nothing after a short plain value.
  EXPECT_EQ(PlanCredentialWrite(Bytes(10), 2, framed_in_1).sweeps, (Sweeps{{0, 1}, {1, 1}}));
  EXPECT_EQ(PlanCredentialWrite(Bytes(10), 2, Bytes(2560)).sweeps, (Sweeps{{0, 1}}));
  EXPECT_TRUE(PlanCredentialWrite(Bytes(10), 2, Bytes(100)).sweeps.empty());
  EXPECT_TRUE(PlanCredentialWrite(Bytes(10), 2, std::nullopt).sweeps.empty());
}

TEST(CredentialChunks, OnlyAFullPlainPartAnnouncesAContinuation) {
  EXPECT_TRUE(MayHaveContinuation(2560));
  EXPECT_FALSE(MayHaveContinuation(2559));
  EXPECT_FALSE(MayHaveContinuation(0));
  EXPECT_TRUE(IsFramedContinuation(SplitCredentialBlob(Bytes(6000), 1, 1)[1]));
  EXPECT_FALSE(IsFramedContinuation(Bytes(2560)));
}

}  // namespace
