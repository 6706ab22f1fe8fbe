#!/usr/bin/env bash
# Faults, each put into the code by itself, and the tests that catch it: every one must be
# caught by at least one test. Builds in build-mutants (BUILD_DIR to use another) and puts each
# file back as it was. Prints one row per fault: caught or not, and the first tests that failed.
#   scripts/mutants.sh                     all of them
#   MUTANTS_MATCHING=REGEX scripts/mutants.sh   those whose description matches
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-mutants}
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" >/dev/null

python3 - "$root" "$build" <<'PY'
import os, re, subprocess, sys

root, build = sys.argv[1], sys.argv[2]
# (what the fault is, file, text, replacement, ctest regex of the suites that should catch it)
MUTANTS = [
    # The texts live in SessionMessages.h, which code and tests share: the fault is the table
    # telling the wrong one.
    ("429 told as another status (StreamDelegate's table)", "src/session/StreamDelegate.cpp",
     "return messages::tooManyRequests;", "return messages::endpointMissing;",
     "Session|Status|Answer"),
    ("a line of exactly the cap is refused", "src/protocol/AnswerStreamDecoder.cpp",
     "m_partialLine.size() + piece.size() > maxLineBytes",
     "m_partialLine.size() + piece.size() >= maxLineBytes", "Decoder|Stream"),
    ("an eight-character word is dropped", "src/session/SessionManager.cpp",
     "text::characterCount(utterance) >= 8", "text::characterCount(utterance) > 8",
     "Session|Utterance|Listening"),
    ("a question renews its token again and again", "src/session/SessionManager.cpp",
     "if (exchange.renewed || !auth.refreshToken()) {", "if (!auth.refreshToken()) {",
     "Session|Renewal|Interview"),
    ("a redirect of another sign-in is taken", "src/accounts/SignInReplies.cpp",
     "if (!returned || !*returned || **returned != state) return {Kind::notOurs, \"\"};",
     "if (!returned || !*returned) return {Kind::notOurs, \"\"};",
     "SignIn|Google|Forged|Auth|Redirect"),
    ("a redirect to another scheme is taken", "src/adapters/qt/BrowserWebAuth.cpp",
     "return expected.isEmpty() ||", "return true ||", "WebAuth|Browser|Forged"),
    ("a public address counts as this machine", "backend/src/Loopback.cpp",
     "(ntohl(v4.s_addr) >> 24) == 127", "(ntohl(v4.s_addr) >> 24) <= 127",
     "Loopback|Hostile|Config|Relay"),
    ("one answer more than the cap streams", "backend/src/StreamLimiter.cpp",
     "if (mine >= m_perUser || m_running >= m_total) {",
     "if (mine > m_perUser || m_running > m_total) {", "Limit|Stream|Chat|Hostile"),
    ("a reused refresh token is granted", "backend/src/TokenService.cpp",
     "        case Outcome::replayed: {",
     "        case Outcome::replayed:\n        case Outcome::reused: {", "Refresh|Token|Renewal"),
    ("a stalled transfer never times out", "src/adapters/curl/CurlHttpClient.cpp",
     "if (deadline <= now) {", "if (false) {", "Curl|Http|Stream|Broken"),
    # The shell's ways back to a window, checked in one launch.
    ("a reopen leaves a hidden panel hidden", "src/app/AppDelegate.cpp",
     "    if (m_floatingPanel) bringToFront(m_floatingPanel.get());\n    return false;",
     "    return false;", "Shell"),
    ("a second launch leaves the login window closed", "src/app/AppDelegate.cpp",
     "if (!m_floatingPanel && m_loginWindow && !m_loginWindow->isVisible()) {", "if (false) {",
     "Shell"),
    ("the status icon's Preferences opens nothing", "src/app/AppDelegate.cpp",
     "    m_statusIcon.onPreferences = [self] {\n        if (self) self->showPreferences();",
     "    m_statusIcon.onPreferences = [self] {\n        if (!self) self->showPreferences();",
     "Shell"),
    # The test share and the long utterance.
    ("a share left after its first frame is told as left before it", "src/app/ShareCheck.cpp",
     "duration<double>(*m_seen - m_firstFrame.value_or(*m_seen))",
     "duration<double>(m_firstFrame.value_or(*m_seen) - *m_seen)", "Shell"),
    ("a test share outlives the screen's stream", "src/adapters/pipewire/PipeWireStreamViewer.cpp",
     "if (id == self->m_listener->node) self->failed", "if (false) self->failed",
     "ShareIndicators"),
    ("a long utterance forgets its start", "src/capture/StreamingRecognizer.cpp",
     "committed.insert(committed.end(), shown.begin(), shown.end());", "", "Streaming"),
    # One for each case that took in another's steps.
    ("stealth toggles nothing on the desktop", "src/overlay/FloatingPanelWindow.cpp",
     "m_workspace.setExcludedFromCapture(winId(), m_isStealth);",
     "m_workspace.setExcludedFromCapture(winId(), true);", "Panel"),
    ("a failed sign-in without a message says nothing", "src/accounts/ui/LoginWindow.cpp",
     'value_or("Something went wrong")', 'value_or("")', "Login"),
    ("an older sign-in takes the newer one's redirect", "src/adapters/qt/BrowserWebAuth.cpp",
     "        m_factory.m_waiting = this;", "        if (!m_factory.m_waiting) m_factory.m_waiting = this;",
     "BrowserWebAuth"),
    ("a press dragged out and released outside clicks", "src/overlay/UIHelpers.cpp",
     "if (inside && onClick) onClick();", "if (onClick) onClick();", "Clicks"),
    ("Preferences reports its close once hidden", "src/app/PreferencesWindow.cpp",
     "    if (onClose) onClose();\n    event->accept();",
     "    hide();\n    if (onClose) onClose();\n    event->accept();", "Preferences"),
    ("Num Lock stops a shortcut", "src/adapters/qt/X11GlobalShortcuts.cpp",
     "kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,",
     "kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_LOCK,", "QtScreenSource"),
    ("a cancelled transcription still completes", "src/adapters/whisper/WhisperTranscriber.cpp",
     "        cancelled = true;\n        std::lock_guard lock(completing);\n        completion = nullptr;",
     "", "Whisper"),
    ("a delegate that asks to stop is not stopped", "src/adapters/curl/CurlHttpClient.cpp",
     "            t.stoppedByReceiver = true;\n            return 0;",
     "            t.stoppedByReceiver = false;", "Curl"),
    ("an upper-case checksum is refused", "src/adapters/whisper/ModelInstaller.cpp",
     "return std::isxdigit(c); });", "return std::isxdigit(c) && !std::isupper(c); });",
     "ModelInstall"),
    ("an upstream that stops early ends without an error", "backend/src/providers/RelayProviders.cpp",
     "        sink.error(\"The model provider's answer ended early.\");", "", "Relay"),
    ("a sign-in code is good for a second exchange", "backend/src/DevIdentityProvider.cpp",
     "            m_codes.erase(it);  // a code is good for one exchange, right or wrong", "",
     "SignIn"),
    # Sign-in and the accounts it keeps.
    ("an expired identity token signs in", "backend/src/IdentityVerifier.cpp",
     "if (!expiry || *expiry + kClockSkew <= now)", "if (!expiry)", "SignIn|Identity|Hostile"),
    ("a token for another application signs in", "backend/src/IdentityVerifier.cpp",
     "if (!audienceMatches(decoded->claims, provider->audience)) {", "if (false) {",
     "SignIn|Identity|Hostile"),
    ("a spent identity token is forgotten before it expires", "backend/src/SqliteDatabase.cpp",
     "DELETE FROM used_identity_tokens WHERE expires_at <= ?1",
     "DELETE FROM used_identity_tokens WHERE expires_at >= ?1", "Store|SignIn"),
    ("a sign-in without its nonce is taken", "src/accounts/AuthManager.cpp",
     "if (idToken && !signin::carriesNonce(*idToken, m_oauthNonce)) {", "if (false) {",
     "Accounts|Auth|SignIn|Login|Forged"),
    ("a late renewal overwrites a newer sign-in", "src/accounts/AuthManager.cpp",
     "    if (generation != m_tokenGeneration) {\n        // Signed out", "    if (false) {\n        // Signed out",
     "Accounts|Auth|Renewal"),
    ("credentials go to a backend over plain HTTP", "src/accounts/AuthManager.cpp",
     "if (!parsed || !parsed->isSafeForCredentials()) {", "if (!parsed) {",
     "BackendUrl|SignIn"),
    # The backend's own rules.
    ("a disabled account is answered", "backend/src/ChatRoute.cpp", "if (user->disabled) {",
     "if (false) {", "Chat|Hostile|Refresh"),
    ("a spent rate bucket lets one more through", "backend/src/RateLimiter.cpp",
     "if (bucket.tokens < 1.0) return false;", "if (bucket.tokens < 0.0) return false;",
     "Rate|Chat|Hostile|Limit"),
    # Hearing, shares and the app's own ends.
    ("a camera counts as a screen share", "src/adapters/pipewire/PipeWireShareWatcher.cpp",
     "return !spa_dict_lookup(props, PW_KEY_DEVICE_ID) && !spa_dict_lookup(props, PW_KEY_DEVICE_API);",
     "return true;", "ShareIndicators"),
    ("any window titled like a sharing bar counts as one", "src/capture/ShareIndicators.cpp",
     "return title.find(indicator.titleContains) != std::string_view::npos &&",
     "return title.find(indicator.titleContains) != std::string_view::npos ||",
     "QtScreenSource"),
    ("capture retries never back off", "src/capture/SystemAudioCapture.cpp",
     "std::min(longestRetrySeconds, m_retrySeconds * 2)", "std::min(longestRetrySeconds, m_retrySeconds)",
     "SystemAudio"),
    ("a live Orvane's backend is taken as left over", "src/app/BackendSupervisor.cpp",
     "if (!parent || *parent == supervisor) return std::nullopt;",
     "if (!parent) return std::nullopt;", "Supervisor"),
    ("a socket directory others can reach is used", "src/app/SingleInstance.cpp",
     "if ((info.st_mode & 077) != 0) {", "if (false) {", "SocketSquatting|SingleInstance"),
    ("a reply past the cap is taken whole", "src/adapters/curl/CurlHttpClient.cpp",
     "if (t.body.size() + bytes.size() > HttpClient::maxReplyBytes) {", "if (false) {",
     "Curl|Hostile"),
    # What the panel and the record show.
    ("a shorter fence closes a longer one", "src/text/Markdown.cpp",
     "if (!fence || fence->marker != open.marker || fence->length < open.length) return false;",
     "if (!fence || fence->marker != open.marker) return false;", "Markdown"),
    ("markup in what was said is written into the record", "src/session/InterviewRecord.cpp",
     "escaped += '\\\\';", "", "Interview|Session"),
]
# MUTANTS_MATCHING=REGEX runs only the faults whose description it matches.
only = os.environ.get("MUTANTS_MATCHING")
if only:
    MUTANTS = [m for m in MUTANTS if re.search(only, m[0])]
# The reused case has its own branch, which the grant now takes.
DROPPED = {"a reused refresh token is granted":
           '        case Outcome::reused:\n            return Refusal("the refresh token was already used; sign in again");\n'}

def run(command):
    return subprocess.run(command, cwd=root, capture_output=True, text=True)

print("%-44s | %-6s | %s" % ("fault", "caught", "first tests that failed"))
escaped = 0
for what, path, old, new, suites in MUTANTS:
    full = os.path.join(root, path)
    original = open(full).read()
    if original.count(old) != 1:
        sys.exit("%s: the text to change is not there exactly once: %r" % (path, old))
    mutated = original.replace(old, new)
    if what in DROPPED:
        mutated = mutated.replace(DROPPED[what], "")
    open(full, "w").write(mutated)
    try:
        if run(["cmake", "--build", build]).returncode != 0:
            caught, by = "build", "-"
        else:
            tests = run(["ctest", "--test-dir", build, "-LE", "load|e2e|wayland", "-R", suites,
                         "-j", str(os.cpu_count())])
            failed = re.findall(r"^\s*\d+ - (\S+) \(", tests.stdout, re.M)
            caught, by = ("yes", ", ".join(failed[:3])) if failed else ("no", "-")
    finally:
        open(full, "w").write(original)
    if caught != "yes":
        escaped += 1
    print("%-44s | %-6s | %s" % (what, caught, by), flush=True)
run(["cmake", "--build", build])
sys.exit(escaped)
PY
