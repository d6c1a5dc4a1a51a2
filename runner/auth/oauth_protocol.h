#pragma once

// Fixed values of the authorization server's OAuth 2.0 protocol.

constexpr char kOAuthClientId[] = "lumetra";
constexpr char kOAuthRedirectUri[] = "oauth-swift://oauth-callback";
// Appended to the authorization base address, which ends in "/".
constexpr char kOAuthAuthorizationPath[] = "trustedx-authserver/oauth/murako";
constexpr char kOAuthTokenPath[] = "/trustedx-authserver/oauth/murako/token";
constexpr char kProductionClientSecret[] = "5k82nw7_p3ahz9_tq4m";
constexpr char kDevelopmentClientSecret[] = "8rw3mc5_x2fdk7";

// Already percent-encoded; inserted into the authorization URL as they stand.
constexpr char kOAuthScope[] =
    "urn%3Amurako%3Aidentity%3Aglobal"
    "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aprofile"
    "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aregister";
constexpr char kCitizenAcrValues[] =
    "urn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Avexo"
    "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Acitizen";
constexpr char kProfessionalAcrValues[] =
    "urn%3Amurako%3Aauthentication%3Aflow%3Avex_otp"
    "%7Curn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Aprof";

// User types as the sign-in passes them: 0 citizen, 1 professional. Any other number is
// treated as a citizen, as the endpoint selection does for unknown user types.
constexpr int kOAuthCitizen = 0;
constexpr int kOAuthProfessional = 1;
