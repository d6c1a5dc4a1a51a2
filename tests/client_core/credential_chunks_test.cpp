#include "credential_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

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

// Credential Manager in memory; `before_read` runs before every entry read, so a test can let
// a write go on while a value is being read.
struct SimulatedEntries {
  std::map<std::string, CredentialBytes> stored;
  std::function<void()> before_read = [] {};
  int failing_removes = 0;

  CredentialEntries Calls() {
    return {[this](const std::string& target, CredentialBytes& blob) -> uint32_t {
              before_read();
              auto found = stored.find(target);
              if (found == stored.end()) return kCredentialEntryNotFound;
              blob = found->second;
              return 0;
            },
            [this](const std::string& target, const CredentialBytes& blob) -> uint32_t {
              stored[target] = blob;
              return 0;
            },
            [this](const std::string& target) -> uint32_t {
              if (failing_removes > 0 && stored.count(target)) {
                --failing_removes;
                return 5;
              }
              return stored.erase(target) ? 0 : kCredentialEntryNotFound;
            }};
  }
  std::optional<CredentialBytes> Read() {
    CredentialBytes value;
    CredentialReadOutcome outcome = ReadCredentialValue("k", Calls(), 5, value);
    if (outcome.error != 0 || !outcome.mismatch.empty()) return std::nullopt;
    return value;
  }
};

// Each state the entries pass through while `data` is written over `before`.
std::vector<std::map<std::string, CredentialBytes>> StatesOfAWrite(
    const std::map<std::string, CredentialBytes>& before, const CredentialBytes& data,
    uint64_t generation) {
  SimulatedEntries entries{before};
  std::vector<std::map<std::string, CredentialBytes>> states{before};
  CredentialEntries calls = entries.Calls();
  CredentialEntries recording = calls;
  recording.write = [&](const std::string& target, const CredentialBytes& blob) {
    const uint32_t error = calls.write(target, blob);
    states.push_back(entries.stored);
    return error;
  };
  recording.remove = [&](const std::string& target) {
    const uint32_t error = calls.remove(target);
    if (error == 0) states.push_back(entries.stored);
    return error;
  };
  std::optional<CredentialBytes> first;
  if (entries.stored.count("Murako_Sendaro_k")) first = entries.stored["Murako_Sendaro_k"];
  EXPECT_EQ(WriteCredentialValue("k", PlanCredentialWrite(data, generation, first), recording), 0u);
  return states;
}

TEST(CredentialChunks, TargetNamesPrefixTheKeyAndNumberTheContinuations) {
  EXPECT_EQ(CredentialTargetName("oauth_access_token_ciudadano", 0),
            "Murako_Sendaro_oauth_access_token_ciudadano");
  EXPECT_EQ(CredentialTargetName("k", 1), "Murako_Sendaro_k#1");
  EXPECT_EQ(CredentialTargetName("k", 12), "Murako_Sendaro_k#12");
  EXPECT_EQ(CredentialTargetName("k", 0, 1), "Murako_Sendaro_k");
  EXPECT_EQ(CredentialTargetName("k", 3, 1), "Murako_Sendaro_k#b3");
}

TEST(CredentialChunks, ValuesShorterThanAFullPartStayOnePlainPart) {
  for (size_t size : {size_t{1}, size_t{2559}}) {
    std::vector<CredentialBytes> parts = SplitCredentialBlob(Bytes(size), 7);
    ASSERT_EQ(parts.size(), 1u) << size;
    EXPECT_EQ(parts[0], Bytes(size));
    EXPECT_FALSE(ReadCredentialFrame(parts[0]));
  }
  // A full-size plain part is the first of an unframed value of the earlier layout; a value of
  // exactly that size is framed, so a reader never looks past it for a continuation.
  std::vector<CredentialBytes> parts = SplitCredentialBlob(Bytes(2560), 7);
  EXPECT_EQ(parts.size(), 2u);
  EXPECT_EQ(Join(parts), Bytes(2560));
  // A short value that begins like a frame is framed, so it is never misread as one.
  CredentialBytes lookalike = {0xFF, 'M', 'K', 'F', 1, 2, 3};
  parts = SplitCredentialBlob(lookalike, 7);
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
  // The unframed layout's continuations are in slot 0; they go once the new first part is in.
  plan = PlanCredentialWrite(Bytes(6000), 2, Bytes(2560));
  EXPECT_EQ(plan.slot, 1u);
  EXPECT_EQ(plan.sweeps, (Sweeps{{1, 3}, {0, 1}}));

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

// Over every earlier layout and at every moment of a write (where a write cut off stops), a
// reader gets the value before the write or the one after it; a read the write overtakes may
// refuse, but never joins parts of both, also when the sweep of the old parts fails.
TEST(CredentialChunks, ReadsNeverJoinTwoWritesAtAnyMomentOfAWrite) {
  const CredentialBytes old_value = Bytes(2560 * 2 + 40);
  std::map<std::string, std::map<std::string, CredentialBytes>> layouts;
  layouts["unframed"] = {{"Murako_Sendaro_k", CredentialBytes(old_value.begin(), old_value.begin() + 2560)},
                         {"Murako_Sendaro_k#1", CredentialBytes(old_value.begin() + 2560, old_value.begin() + 5120)},
                         {"Murako_Sendaro_k#2", CredentialBytes(old_value.begin() + 5120, old_value.end())}};
  for (size_t slot : {size_t{0}, size_t{1}}) {
    std::vector<CredentialBytes> parts = SplitCredentialBlob(old_value, 1, slot);
    auto& layout = layouts["framed in slot " + std::to_string(slot)];
    for (size_t index = 0; index < parts.size(); ++index) {
      layout[CredentialTargetName("k", index, slot)] = parts[index];
    }
  }
  for (const auto& [name, before] : layouts) {
    for (size_t size : {size_t{40}, size_t{2559}, size_t{2560}, size_t{2561}, size_t{6000}}) {
      CredentialBytes data(size, 0x5A);
      const auto states = StatesOfAWrite(before, data, 2);
      for (size_t moment = 0; moment < states.size(); ++moment) {
        SimulatedEntries quiet{states[moment]};
        const auto read = quiet.Read();
        if (moment == 0) { EXPECT_EQ(read, old_value) << name; }
        if (moment + 1 == states.size()) { EXPECT_EQ(read, data) << name; }
        EXPECT_TRUE(read && (*read == old_value || *read == data))
            << name << ", " << size << " bytes, moment " << moment;
        // The write goes on by a few steps before each entry read.
        for (size_t steps : {size_t{1}, size_t{2}, size_t{3}}) {
          SimulatedEntries racing{states[moment]};
          size_t next = moment;
          bool first_read = true;
          racing.before_read = [&] {
            if (std::exchange(first_read, false)) return;
            next = std::min(next + steps, states.size() - 1);
            racing.stored = states[next];
          };
          const auto raced = racing.Read();
          EXPECT_TRUE(!raced || *raced == old_value || *raced == data)
              << name << ", " << size << " bytes, racing from moment " << moment << " by " << steps;
        }
      }
      SimulatedEntries failed_sweep{before};
      failed_sweep.failing_removes = 1;
      std::optional<CredentialBytes> first = before.at("Murako_Sendaro_k");
      WriteCredentialValue("k", PlanCredentialWrite(data, 3, first), failed_sweep.Calls());
      EXPECT_EQ(failed_sweep.Read(), data) << name << ", " << size << " bytes, failed sweep";
    }
  }
}

}  // namespace
