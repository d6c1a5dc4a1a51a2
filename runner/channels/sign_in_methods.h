#pragma once

#include "channel_dispatch.h"

// The channel methods answered by the sign-in flows, most of them later, when the sign-in
// window delivers its result on the main thread.
namespace sign_in_methods {

// Native bridge channel.
void StartOAuth(ApplicationHost& host, const flutter::EncodableValue* arguments,
                MethodResultPtr& result);
void LinkCitizen(ApplicationHost& host, const flutter::EncodableValue* arguments,
                 MethodResultPtr& result);
void LinkProfessional(ApplicationHost& host, const flutter::EncodableValue* arguments,
                      MethodResultPtr& result);

// Plugin channel.
void GetCookiesInfo(ApplicationHost& host, const flutter::EncodableValue* arguments,
                    MethodResultPtr& result);
void RefreshTokenWithCookies(ApplicationHost& host, const flutter::EncodableValue* arguments,
                             MethodResultPtr& result);

}  // namespace sign_in_methods
