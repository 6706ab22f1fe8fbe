// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "accounts/AuthManager.h"
#include "accounts/OAuthEncoding.h"
#include "accounts/SignInReplies.h"
#include "fakes/FakeHttpClient.h"
#include "fakes/ManualMainQueue.h"
#include "fakes/ScriptedAccounts.h"
#include "session/AnswerSettings.h"

namespace orvane::testing {
namespace {

constexpr const char* kClientId =
    "123456789012-abcdefghijklmnopqrstuvwxyz012345.apps.googleusercontent.com";
constexpr const char* kScheme =
    "com.googleusercontent.apps.123456789012-abcdefghijklmnopqrstuvwxyz012345";
constexpr const char* kRedirect =
    "com.googleusercontent.apps.123456789012-abcdefghijklmnopqrstuvwxyz012345:/oauth2redirect/"
    "google";

// RFC 7636, Appendix B.
const std::vector<std::uint8_t> kAppendixBOctets = {
    116, 24,  223, 180, 151, 153, 224, 37,  79, 250, 96, 125, 216, 173, 187, 186,
    22,  212, 37,  77,  105, 214, 191, 240, 91, 88,  5,  88,  83,  132, 141, 121};
constexpr const char* kAppendixBVerifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
constexpr const char* kAppendixBChallenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

HttpResult reply(int status, std::optional<std::string> body) {
    return HttpResult{HttpResponse{status}, std::move(body), std::nullopt};
}

std::string replaced(std::string text, const std::string& placeholder, const std::string& value) {
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder)) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

class GoogleSignIn : public ::testing::Test {
protected:
    GoogleSignIn()
        : auth({mainQueue, http, crypto, webAuth, apple},
               AuthConfig{kClientId, kScheme, "https://accounts.google.com/o/oauth2/v2/auth",
                          "https://oauth2.googleapis.com/token", "https://api.orvane.test"}) {}

    void signIn() {
        auth.signInWithGoogle([this](bool ok) {
            results.push_back(ok);
            errorAtCompletion = auth.lastError();
        });
    }
    std::string pageItem(const std::string& name) const { return webAuth.pageItem(name); }
    // The page's answer: "{state}" stands for the state the page was given.
    std::string redirect(const std::string& query) const {
        return replaced(std::string(kRedirect) + query, "{state}", pageItem("state"));
    }
    std::string idToken() const { return idTokenWithNonce(pageItem("nonce")); }
    // Runs the flow up to the token request with the given redirect.
    void redirectWith(const std::string& query) {
        signIn();
        webAuth.finish(redirect(query));
        mainQueue.runUntilIdle();
    }
    void answerToken(HttpResult result) {
        http.sends.back().completion(std::move(result));
        mainQueue.runUntilIdle();
    }
    void answerBackend(HttpResult result) { answerToken(std::move(result)); }
    std::string lastError() const { return auth.lastError().value_or("<none>"); }

    ManualMainQueue mainQueue;
    FakeHttpClient http;
    ScriptedCrypto crypto;
    ScriptedWebAuth webAuth;
    ScriptedAppleSignIn apple;
    AuthManager auth;
    std::vector<bool> results;
    std::optional<std::string> errorAtCompletion;
};

// RFC 7636's Appendix B from the authorisation URL to the token request.
TEST_F(GoogleSignIn, TheAuthorisationUrlAndTheTokenRequestCarryTheirItemsInOrder) {
    crypto.scriptedRandom.push_back(kAppendixBOctets);
    crypto.scriptedRandom.push_back(std::vector<std::uint8_t>(16, 0xAB));
    crypto.scriptedRandom.push_back(std::vector<std::uint8_t>(16, 0xCD));
    signIn();
    ASSERT_EQ(webAuth.sessions.size(), 1u);
    EXPECT_TRUE(webAuth.sessions[0]->started);
    EXPECT_EQ(webAuth.sessions[0]->callbackScheme, kScheme);
    EXPECT_EQ(webAuth.sessions[0]->url,
              std::string("https://accounts.google.com/o/oauth2/v2/auth?client_id=") + kClientId +
                  "&redirect_uri=" + kRedirect +
                  "&response_type=code&scope=openid%20email%20profile&code_challenge=" +
                  kAppendixBChallenge +
                  "&code_challenge_method=S256&state=q6urq6urq6urq6urq6urqw"
                  "&nonce=zc3Nzc3Nzc3Nzc3Nzc3NzQ");

    // The code comes back: the token request is a form of five fields, the verifier the RFC's.
    webAuth.finish(redirect("?state={state}&code=4/0Ab+c&d=e f&scope=email"));
    mainQueue.runUntilIdle();
    EXPECT_EQ(auth.pkceVerifier(), kAppendixBVerifier);
    ASSERT_EQ(http.sends.size(), 1u);
    const auto& request = http.sends[0].request;
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "https://oauth2.googleapis.com/token");
    using Header = std::pair<std::string, std::string>;
    EXPECT_EQ(request.headers,
              (std::vector<Header>{{"Content-Type", "application/x-www-form-urlencoded"}}));
    EXPECT_EQ(request.idleTimeoutSeconds, 60);
    EXPECT_EQ(request.totalTimeoutSeconds, 60);
    EXPECT_EQ(*request.body,
              std::string("code=4/0Ab%2Bc&client_id=") + kClientId + "&redirect_uri=" + kRedirect +
                  "&grant_type=authorization_code&code_verifier=" + kAppendixBVerifier)
        << "the query's + stays a plus and is encoded on the way out";
}

// Any web page can send the browser to Orvane's scheme: only the answer to this sign-in, carrying
// its state, may end it, and only an ID token carrying its nonce signs anyone in.
TEST_F(GoogleSignIn, ARedirectWithoutThisSignInsStateIsIgnored) {
    signIn();
    for (const char* forged :
         {"?error=access_denied&error_description=Forged", "?state=guessed&error=access_denied",
          "?code=attacker-code", "?state=&code=attacker-code"}) {
        webAuth.finish(redirect(forged));
        mainQueue.runUntilIdle();
    }
    EXPECT_TRUE(results.empty()) << "the sign-in still waits";
    EXPECT_FALSE(auth.lastError());
    EXPECT_TRUE(http.sends.empty()) << "no forged code was exchanged";
    webAuth.finish(redirect("?state={state}&code=real"));
    mainQueue.runUntilIdle();
    ASSERT_EQ(http.sends.size(), 1u);
    EXPECT_NE(http.sends[0].request.body->find("code=real"), std::string::npos);
}

TEST_F(GoogleSignIn, AnIdTokenIssuedForAnotherSignInIsRefused) {
    redirectWith("?state={state}&code=abc");
    answerToken(reply(200, nlohmann::json{{"id_token", idTokenWithNonce("replayed")}}.dump()));
    EXPECT_EQ(results, (std::vector<bool>{false}));
    EXPECT_EQ(errorAtCompletion, AuthManager::wrongTokenMessage);
    EXPECT_EQ(http.sends.size(), 1u) << "it never reached the backend";
}

TEST_F(GoogleSignIn, EachSignInHasAVerifierStateAndNonceOfItsOwn) {
    std::set<std::string> seen;
    for (int i = 0; i < 300; ++i) {
        signIn();
        seen.insert(pageItem("state"));
        seen.insert(pageItem("nonce"));
        EXPECT_EQ(pageItem("state").size(), 22u);
        const auto& verifier = *auth.pkceVerifier();
        ASSERT_EQ(verifier.size(), 43u) << verifier;
        for (char c : verifier) {
            ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')
                << verifier;
        }
        seen.insert(verifier);
    }
    EXPECT_EQ(seen.size(), 900u);
}

TEST(OAuthForm, EncodesTheCharactersThatWouldBreakAForm) {
    EXPECT_EQ(oauth::formBody({{"v", "a+b&c=d e"}}), "v=a%2Bb%26c%3Dd%20e");
    EXPECT_EQ(oauth::formBody({{"k", "~!$'()*,;:/?@-._"}}), "k=~!$'()*,;:/?@-._");
    EXPECT_EQ(oauth::formBody({{"k", "\xC3\xA9#%"}}), "k=%C3%A9%23%25");
}

// What a redirect says of this sign-in, whose state is "s1".
struct RedirectCase {
    const char* name;
    std::optional<std::string> callback;
    std::optional<std::string> browserError;
    signin::Redirect::Kind kind;
    const char* said;  // the code, or why the sign-in ended
};

class Redirects : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(Redirects, EndAsTheFlowSays) {
    const auto& c = GetParam();
    const auto read = signin::readRedirect(
        c.callback ? std::optional(std::string(kRedirect) + *c.callback) : std::nullopt,
        c.browserError, "s1");
    EXPECT_EQ(read.kind, c.kind);
    EXPECT_EQ(read.text, c.said);
}

using Kind = signin::Redirect::Kind;

INSTANTIATE_TEST_SUITE_P(
    Cases, Redirects,
    ::testing::Values(
        RedirectCase{"browserError", std::nullopt, "The user closed the page.", Kind::failed,
                     "Browser session: The user closed the page."},
        RedirectCase{"nothing", std::nullopt, std::nullopt, Kind::failed,
                     "No callback URL returned"},
        RedirectCase{"noQuery", "", std::nullopt, Kind::failed, "No auth code in callback"},
        RedirectCase{"emptyQuery", "?", std::nullopt, Kind::failed, "No auth code in callback"},
        RedirectCase{"noCode", "?state=s1&code", std::nullopt, Kind::failed,
                     "No auth code in callback"},
        RedirectCase{"errorWithDescription",
                     "?error=access_denied&error_description=User%20said%20no&code=c&state=s1",
                     std::nullopt, Kind::failed, "Google: access_denied - User said no"},
        RedirectCase{"errorWithoutDescription", "?error=invalid_scope&state=s1", std::nullopt,
                     Kind::failed, "Google: invalid_scope - no details"},
        RedirectCase{"errorWithoutValueAndCode", "?error&code=abc&state=s1", std::nullopt,
                     Kind::code, "abc"},
        RedirectCase{"anotherState", "?state=s2&error=access_denied", std::nullopt, Kind::notOurs,
                     ""},
        RedirectCase{"noState", "?code=attacker", std::nullopt, Kind::notOurs, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct TokenReplyCase {
    const char* name;
    HttpResult reply;
    const char* problem;  // nullptr: the ID token "t" came back
};

class TokenReplies : public ::testing::TestWithParam<TokenReplyCase> {};

TEST_P(TokenReplies, EndAsTheFlowSays) {
    const auto read = signin::readTokenReply(GetParam().reply);
    EXPECT_EQ(read.token, GetParam().problem ? std::nullopt : std::optional<std::string>("t"));
    EXPECT_EQ(read.problem, GetParam().problem ? GetParam().problem : "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenReplies,
    ::testing::Values(
        TokenReplyCase{"idTokenWithBadStatus", reply(400, R"({"id_token":"t"})"), nullptr},
        TokenReplyCase{"errorDescription",
                       reply(400, R"({"error":"invalid_grant","error_description":"Bad code"})"),
                       "Google token (HTTP 400): Bad code"},
        TokenReplyCase{"errorOnly", reply(400, R"({"error":"invalid_grant"})"),
                       "Google token (HTTP 400): invalid_grant"},
        TokenReplyCase{"neither", reply(200, R"({"access_token":"x","id_token":7})"),
                       "Google token (HTTP 200): no id_token"},
        TokenReplyCase{"notJson", reply(502, "<html>Bad Gateway</html>"),
                       "Token exchange (HTTP 502): <html>Bad Gateway</html>"},
        TokenReplyCase{"jsonArray", reply(200, "[1]"), "Token exchange (HTTP 200): [1]"},
        TokenReplyCase{"zeroBytes", reply(200, ""), "Token exchange (HTTP 200): "},
        TokenReplyCase{"notUtf8", reply(500, "\xFF\xFE"), "Token exchange (HTTP 500): empty"},
        TokenReplyCase{"noData", reply(204, std::nullopt), "Token exchange (HTTP 204): empty"},
        TokenReplyCase{"transportError",
                       HttpResult{std::nullopt, std::nullopt, "The request timed out."},
                       "Token exchange: The request timed out."}),
    [](const auto& info) { return std::string(info.param.name); });

// What the backend answers for the ID token, and what the account state holds afterwards; a
// token held before the sign-in is "earlier".
struct BackendReplyCase {
    const char* name;
    HttpResult reply;
    std::optional<std::string> error;  // nothing: signed in
    std::optional<std::string> accessToken;
    std::optional<std::string> refreshToken;
    std::optional<std::string> userName;
};

class BackendExchange : public ::testing::TestWithParam<BackendReplyCase> {};

TEST_P(BackendExchange, EndsAsTheReplySays) {
    const auto read = signin::readSignInReply(GetParam().reply);
    EXPECT_EQ(read.problem, GetParam().error);
    const auto account = read.account.value_or(signin::Account{"earlier", {}, {}});
    EXPECT_EQ(account.accessToken, GetParam().accessToken);
    EXPECT_EQ(account.refreshToken, GetParam().refreshToken);
    EXPECT_EQ(account.user ? std::optional((*account.user)["firstName"].get<std::string>())
                           : std::nullopt,
              GetParam().userName);
}

// The flow's steps end it saying why, and the backend's reply becomes the account: also one that
// carries no access token, which signs the user out.
TEST_F(GoogleSignIn, EachStepEndsTheSignInSayingWhyAndTheBackendsReplyIsTheAccount) {
    signIn();
    webAuth.finish(std::nullopt, "The user closed the page.");
    mainQueue.runUntilIdle();
    EXPECT_EQ(errorAtCompletion, "Browser session: The user closed the page.");
    EXPECT_TRUE(http.sends.empty());

    redirectWith("?code=abc&state={state}");
    answerToken(reply(400, R"({"error":"invalid_grant","error_description":"Bad code"})"));
    EXPECT_EQ(errorAtCompletion, "Google token (HTTP 400): Bad code");
    EXPECT_EQ(http.sends.size(), 1u);

    auth.setAccessToken("earlier");
    redirectWith("?code=abc&state={state}");
    answerToken(reply(200, nlohmann::json{{"id_token", idToken()}}.dump()));
    ASSERT_EQ(http.sends.size(), 3u);
    const auto& request = http.sends[2].request;
    EXPECT_EQ(request.url, "https://api.orvane.test/api/v1/auth/mobile/google");
    using Header = std::pair<std::string, std::string>;
    EXPECT_EQ(request.headers, (std::vector<Header>{{"Content-Type", "application/json"}}));
    EXPECT_EQ(request.totalTimeoutSeconds, 60);
    EXPECT_EQ(*request.body, nlohmann::json({{"googleToken", idToken()}}).dump());
    answerBackend(reply(200, R"({"refreshToken":"rt"})"));
    EXPECT_EQ(errorAtCompletion, R"(No access token in response: {"refreshToken":"rt"})");
    EXPECT_FALSE(auth.accessToken()) << "signed out";
    EXPECT_EQ(auth.refreshToken(), "rt");

    redirectWith("?code=abc&state={state}");
    answerToken(reply(200, nlohmann::json{{"id_token", idToken()}}.dump()));
    answerBackend(reply(200, R"({"accessToken":"at","user":{"firstName":"Ada"}})"));
    EXPECT_EQ(results, (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(auth.accessToken(), "at");
    EXPECT_EQ(auth.refreshToken(), std::nullopt);
    EXPECT_EQ(auth.userName(), "Ada");
}

const std::string kNoAccessToken =
    R"({"refreshToken":"rt","padding":")" + std::string(300, 'p') + "\"}";

INSTANTIATE_TEST_SUITE_P(
    Cases, BackendExchange,
    ::testing::Values(
        BackendReplyCase{"tokensAndUser",
                         reply(200, R"({"accessToken":"at","refreshToken":"rt",)"
                                    R"("user":{"id":"7","firstName":"Ada"}})"),
                         std::nullopt, "at", "rt", "Ada"},
        BackendReplyCase{"anAccessTokenAlone",
                         reply(200, R"({"accessToken":"at","user":"not an object"})"), std::nullopt,
                         "at", std::nullopt, std::nullopt},
        BackendReplyCase{"aNumericErrorIsNone", reply(200, R"({"error":3,"accessToken":"at"})"),
                         std::nullopt, "at", std::nullopt, std::nullopt},
        BackendReplyCase{"anErrorWinsOverAToken",
                         reply(401, R"({"error":"Invalid identity token","details":"expired",)"
                                    R"("accessToken":"x"})"),
                         "Backend: Invalid identity token - expired", "earlier", std::nullopt,
                         std::nullopt},
        BackendReplyCase{"noAccessTokenSignsOut", reply(200, kNoAccessToken),
                         "No access token in response: " + kNoAccessToken.substr(0, 200),
                         std::nullopt, "rt", std::nullopt},
        BackendReplyCase{"notAnObject", reply(502, "Bad Gateway"),
                         "Backend (HTTP 502): Bad Gateway", "earlier", std::nullopt, std::nullopt},
        BackendReplyCase{"zeroBytes", reply(200, ""), "Backend (HTTP 200): ", "earlier",
                         std::nullopt, std::nullopt},
        BackendReplyCase{"transportError",
                         HttpResult{std::nullopt, std::nullopt, "Could not connect to the server."},
                         "Backend: Could not connect to the server.", "earlier", std::nullopt,
                         std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackendUrl, PlainHttpToAnotherMachineIsABadBackendUrl) {
    ManualMainQueue mainQueue;
    FakeHttpClient http;
    ScriptedCrypto crypto;
    ScriptedWebAuth webAuth;
    ScriptedAppleSignIn apple;
    AuthManager auth({mainQueue, http, crypto, webAuth, apple},
                     AuthConfig{kClientId, kScheme, "https://accounts.google.com/o/oauth2/v2/auth",
                                "https://oauth2.googleapis.com/token", "http://api.orvane.com"});
    std::optional<bool> result;
    auth.signInWithGoogle([&](bool ok) { result = ok; });
    webAuth.finish(std::string(kRedirect) + "?code=c&state=" + webAuth.pageItem("state"));
    mainQueue.runUntilIdle();
    http.sends.back().completion(reply(
        200, nlohmann::json{{"id_token", idTokenWithNonce(webAuth.pageItem("nonce"))}}.dump()));
    mainQueue.runUntilIdle();
    EXPECT_EQ(result, false);
    EXPECT_EQ(auth.lastError(), "Bad backend URL");
    EXPECT_EQ(http.sends.size(), 1u) << "the token never left";
}

TEST_F(GoogleSignIn, CompletionsArePostedOnceAndLastErrorIsClearedAtTheStart) {
    auth.setLastError("an old failure");
    signIn();
    EXPECT_FALSE(auth.lastError());
    webAuth.finish(std::nullopt, "cancelled");
    EXPECT_TRUE(results.empty()) << "the redirect is handed to the main queue first";
    mainQueue.runUntilIdle();
    EXPECT_EQ(results, (std::vector<bool>{false}));
    mainQueue.runUntilIdle();
    EXPECT_EQ(results.size(), 1u);
}

TEST_F(GoogleSignIn, ANewAttemptReleasesTheOldSessionAndItsVerifier) {
    signIn();
    const auto firstVerifier = *auth.pkceVerifier();
    signIn();
    ASSERT_EQ(webAuth.sessions.size(), 2u);
    EXPECT_TRUE(webAuth.sessions[0]->released);
    EXPECT_FALSE(webAuth.sessions[1]->released);
    EXPECT_NE(*auth.pkceVerifier(), firstVerifier);
}

TEST_F(GoogleSignIn, RepliesAfterTheManagerIsGoneAreDropped) {
    auto owned = std::make_unique<AuthManager>(
        AuthServices{mainQueue, http, crypto, webAuth, apple},
        AuthConfig{kClientId, kScheme, "https://a.test/auth", "https://a.test/token",
                   "https://api.orvane.test"});
    bool called = false;
    owned->signInWithGoogle([&](bool) { called = true; });
    webAuth.finish(redirect("?code=c&state={state}"));
    mainQueue.runUntilIdle();
    auto pending = http.sends.back().completion;
    owned.reset();
    pending(reply(200, R"({"id_token":"t"})"));
    mainQueue.runUntilIdle();
    EXPECT_FALSE(called);
}

class AppleSignInFlow : public GoogleSignIn {
protected:
    void signInWithApple() {
        auth.signInWithApple([this](bool ok) {
            results.push_back(ok);
            errorAtCompletion = auth.lastError();
        });
    }
    void appleReports(std::optional<AppleIdCredential> credential,
                      std::optional<std::string> error = {}) {
        apple.requests.back()(std::move(credential), std::move(error));
        mainQueue.runUntilIdle();
    }
};

TEST_F(AppleSignInFlow, ACredentialIsExchangedAtTheAppleEndpoint) {
    signInWithApple();
    appleReports(AppleIdCredential{std::vector<std::uint8_t>{'a', '.', 'b'}, "001234.abc"});
    ASSERT_EQ(http.sends.size(), 1u);
    EXPECT_EQ(http.sends[0].request.url, "https://api.orvane.test/api/v1/auth/mobile/apple");
    EXPECT_EQ(nlohmann::json::parse(*http.sends[0].request.body),
              (nlohmann::json{{"token", "a.b"}, {"userId", "001234.abc"}}));
    answerBackend(reply(200, R"({"accessToken":"at"})"));
    EXPECT_EQ(results, (std::vector<bool>{true}));
}

TEST_F(AppleSignInFlow, NoUsableIdentityTokenFails) {
    signInWithApple();
    appleReports(AppleIdCredential{std::nullopt, "u"});
    signInWithApple();
    appleReports(AppleIdCredential{std::vector<std::uint8_t>{0xFF}, "u"});
    signInWithApple();
    appleReports(std::nullopt);
    EXPECT_EQ(results, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(errorAtCompletion, "Could not get Apple identity token");
    EXPECT_TRUE(http.sends.empty());
}

TEST_F(AppleSignInFlow, WithoutSignInWithAppleThePlatformSaysSo) {
    signInWithApple();
    appleReports(std::nullopt, "Sign in with Apple is not available on this platform.");
    EXPECT_EQ(results, (std::vector<bool>{false}));
    EXPECT_EQ(errorAtCompletion,
              "Apple Sign In: Sign in with Apple is not available on this platform.");
}

TEST(AuthManagerState, StartsSignedOutAndHoldsWhatItIsGiven) {
    EXPECT_EQ(&AuthManager::shared(), &AuthManager::shared());
    AuthManager auth;
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_FALSE(auth.userName());
    EXPECT_FALSE(auth.lastError());
    auth.setAccessToken("");
    EXPECT_TRUE(auth.isAuthenticated()) << "any access token signs in, even an empty one";
    for (const auto& [user, name] :
         std::vector<std::pair<nlohmann::json, std::optional<std::string>>>{
             {{{"id", 7}, {"firstName", "Ada"}, {"name", "Ada Lovelace"}}, "Ada"},
             {{{"firstName", ""}}, ""},
             {{{"firstName", 42}}, std::nullopt},
             {{{"name", "Ada"}, {"first_name", "Ada"}}, std::nullopt},
             {nlohmann::json::array({"Ada"}), std::nullopt}}) {
        auth.setUser(user);
        EXPECT_EQ(auth.userName(), name) << user;
    }
    auth.setRefreshToken("r");
    auth.setLastError("Sign-in failed");
    for (int i = 0; i < 2; ++i) {
        auth.signOut();
        EXPECT_FALSE(auth.isAuthenticated());
        EXPECT_FALSE(auth.refreshToken());
        EXPECT_FALSE(auth.user());
        EXPECT_EQ(auth.lastError(), "Sign-in failed") << "the last error stays";
    }
}

// Where answers come from: what the backend is started with for each source (the key never among
// its arguments), kept across runs as JSON, or given by a run command's environment.
TEST(AnswerSettingsTest, EachSourceStartsTheBackendItNeedsAndRoundTrips) {
    using Source = AnswerSettings::Source;
    AnswerSettings offline;
    EXPECT_EQ(offline.backendArguments(), (std::vector<std::string>{"--tier", "all=offline"}));
    EXPECT_EQ(offline.keyVariable(), "");
    AnswerSettings anthropic{Source::anthropic, "", {{"standard", "claude-opus-x"}}};
    const auto arguments = anthropic.backendArguments();
    EXPECT_EQ(arguments,
              (std::vector<std::string>{"--tier", "nano=anthropic:claude-haiku-4-5", "--tier",
                                        "mini=anthropic:claude-haiku-4-5", "--tier",
                                        "standard=anthropic:claude-opus-x", "--tier",
                                        "vision=anthropic:claude-sonnet-4-5", "--anthropic-url",
                                        "https://api.anthropic.com"}));
    EXPECT_EQ(anthropic.keyVariable(), "ANTHROPIC_API_KEY");
    EXPECT_EQ(anthropic.keyAccount(), "anthropic-api-key");
    AnswerSettings local{Source::openaiCompatible, "", {}};
    EXPECT_EQ(local.backendArguments().back(), AnswerSettings::ollamaBaseUrl);
    // A compatible server's key is its own, and goes nowhere in the clear but to this machine.
    EXPECT_EQ(local.keyAccount(),
              std::string("openai-compatible-api-key ") + AnswerSettings::ollamaBaseUrl);
    EXPECT_NE(local.keyAccount(), AnswerSettings{Source::openai}.keyAccount());
    EXPECT_TRUE(local.mayCarryKey());
    for (const auto* elsewhere :
         {"http://10.0.0.5:8080/v1", "http://127.0.0.1.nip.io/v1", "http://models.example/v1"}) {
        EXPECT_FALSE((AnswerSettings{Source::openaiCompatible, elsewhere}.mayCarryKey()))
            << elsewhere;
    }
    EXPECT_TRUE(
        (AnswerSettings{Source::openaiCompatible, "https://models.example/v1"}.mayCarryKey()));
    EXPECT_FALSE(local.needsKey());
    for (const auto& settings :
         {offline, anthropic,
          AnswerSettings{
              Source::openaiCompatible, "http://127.0.0.1:8080/v1", {{"mini", "qwen2.5"}}}}) {
        EXPECT_EQ(AnswerSettings::fromJson(nlohmann::json::parse(settings.toJson().dump())),
                  settings);
    }
    EXPECT_EQ(AnswerSettings::fromJson(R"({"source":"nonsense","models":{"mini":7}})"_json),
              AnswerSettings{});

    std::map<std::string, std::string> environment;
    const auto variable = [&environment](const char* name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        return it == environment.end() ? std::nullopt : std::optional(it->second);
    };
    EXPECT_FALSE(AnswerSettings::fromEnvironment(variable));
    environment = {{"OPENAI_API_KEY", "sk-x"}};
    EXPECT_EQ(AnswerSettings::fromEnvironment(variable)->source, Source::openai);
    environment = {{"ANTHROPIC_API_KEY", "sk-a"}, {"ORVANE_MODEL", "claude-x"}};
    EXPECT_EQ(AnswerSettings::fromEnvironment(variable)->modelFor("nano"), "claude-x");
    environment = {{"OPENAI_BASE_URL", "http://127.0.0.1:11434/v1"}, {"ANTHROPIC_API_KEY", "k"}};
    const auto compatible = AnswerSettings::fromEnvironment(variable);
    EXPECT_EQ(compatible->source, Source::openaiCompatible) << "a server named wins";
    EXPECT_EQ(compatible->baseUrl, "http://127.0.0.1:11434/v1");
}

}  // namespace
}  // namespace orvane::testing
