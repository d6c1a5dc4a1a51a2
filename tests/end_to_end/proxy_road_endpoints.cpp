// The service's hosts as names that only the corporate proxy of the proxy road test resolves
// (tests/end_to_end/corporate_proxy.sh): the same endpoint rules, other deployment constants.
// The programs built with this file take its definitions instead of the client core's.
#define SENDARO_CITIZEN_DEVELOPMENT_HOST "citizen-development.proxy-road.test"
#define SENDARO_PROFESSIONAL_DEVELOPMENT_HOST "professional-development.proxy-road.test"
#define SENDARO_CITIZEN_PRODUCTION_HOST "citizen-production.proxy-road.test"
#define SENDARO_PROFESSIONAL_PRODUCTION_HOST "professional-production.proxy-road.test"
#include "service_endpoints.cpp"
