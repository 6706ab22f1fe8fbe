# Compiled-in configuration: the app has no settings files, so these cache variables are the
# only knobs, and they end up in one generated header.
set(ORVANE_API_BASE "http://127.0.0.1:8787" CACHE STRING
    "Backend base URL: an origin with no trailing slash (plain http only for loopback hosts)")
set(ORVANE_GOOGLE_CLIENT_ID
    "000000000000-orvanedevelopmentclient000000000.apps.googleusercontent.com" CACHE STRING
    "Google OAuth client ID of the installed app (placeholder until one is registered)")
set(ORVANE_GOOGLE_AUTH_ENDPOINT "${ORVANE_API_BASE}/dev/oauth2/v2/auth" CACHE STRING
    "OAuth authorisation endpoint (default: the reference backend's development provider)")
set(ORVANE_GOOGLE_TOKEN_ENDPOINT "${ORVANE_API_BASE}/dev/token" CACHE STRING
    "OAuth token endpoint (default: the reference backend's development provider)")
set(ORVANE_SILENCE_THRESHOLD "1.5" CACHE STRING "Seconds of silence that end an utterance")
set(ORVANE_BUILD_NUMBER "2" CACHE STRING "The build number shown beside the version")

if(ORVANE_API_BASE MATCHES "/$")
    message(FATAL_ERROR "ORVANE_API_BASE must not end with a slash: ${ORVANE_API_BASE}")
endif()

# The redirect scheme is the client ID with its labels reversed, as Google expects of
# installed apps.
string(REPLACE "." ";" _orvane_labels "${ORVANE_GOOGLE_CLIENT_ID}")
list(REVERSE _orvane_labels)
list(JOIN _orvane_labels "." ORVANE_CALLBACK_SCHEME)

set(ORVANE_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildConfig.h.in"
               "${ORVANE_GENERATED_DIR}/orvane/BuildConfig.h" @ONLY)
