// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

namespace orvane::messages {

// What the session says to the user, in one place for the code and its tests alike. Statuses with
// numbers in them are made by StreamDelegate::messageForStatus.
inline constexpr const char* notSignedIn = "Not signed in";
inline constexpr const char* signInAgain = "Not signed in -- please sign in again";
inline constexpr const char* sessionExpired = "Session expired -- please sign in again";
inline constexpr const char* chatForbidden = "AI chat not available for this account";
inline constexpr const char* endpointMissing = "AI endpoint not found -- is the server up to date?";
inline constexpr const char* tooManyRequests = "Too many requests -- slow down a bit";
inline constexpr const char* renewalFailed =
    "Could not renew the session with the server -- try again";
inline constexpr const char* invalidApiUrl = "Invalid API URL";
inline constexpr const char* permissionDenied = "Speech recognition permission denied.";
inline constexpr const char* noSpeechHere = "Speech recognition is not available on this computer.";
inline constexpr const char* screenshotPrompt = "What do you see in these screenshots?";

}  // namespace orvane::messages
