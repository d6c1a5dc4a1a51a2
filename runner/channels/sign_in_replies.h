#pragma once

#include <flutter/encodable_value.h>

#include <memory>
#include <string>
#include <utility>

#include "channel_dispatch.h"
#include "sign_in_results.h"

// The channel's answers to the sign-in flows: each flow outcome as the interface's value.
flutter::EncodableValue LinkingResultValue(const AccountLinkingResult& result);
flutter::EncodableValue StartOAuthValue(const murako::OAuthToken& token);
flutter::EncodableValue SilentRefreshValue(const SilentRefreshResult& result);
flutter::EncodableValue CookieListingValue(const CookieListing& listing);

// A sign-in reply that answers a held method result, at most once.
template <typename Value>
class ChannelSignInReply : public SignInReply<Value> {
 public:
  using Convert = flutter::EncodableValue (*)(const Value&);
  ChannelSignInReply(MethodResultPtr result, Convert convert)
      : result_(std::move(result)), convert_(convert) {}

  void Success(const Value& value) override {
    if (MethodResultPtr held = std::move(result_)) held->Success(convert_(value));
  }
  void Error(const std::string& code, const std::string& message) override {
    if (MethodResultPtr held = std::move(result_)) held->Error(code, message);
  }

 private:
  MethodResultPtr result_;
  Convert convert_;
};

template <typename Value>
std::unique_ptr<SignInReply<Value>> ReplyTo(MethodResultPtr& result,
                                            flutter::EncodableValue (*convert)(const Value&)) {
  return std::make_unique<ChannelSignInReply<Value>>(std::move(result), convert);
}
