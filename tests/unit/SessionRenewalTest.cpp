// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "fakes/SessionHarness.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

const std::string kAnswer =
    "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"Renewed\"}}\n"
    "data: {\"type\":\"message_stop\"}\n";

HttpResult backendReply(int status, const nlohmann::json& body) {
    return HttpResult{HttpResponse{status}, body.dump(), std::nullopt};
}

std::string bearerOf(const HttpRequest& request) {
    for (const auto& [name, value] : request.headers) {
        if (name == "Authorization") return value;
    }
    return {};
}

// An access token that has run out is renewed with the refresh token and the question asked
// again, without the user noticing; only a refused renewal asks them to sign in again.
class SessionRenewal : public ::testing::Test {
protected:
    SessionRenewal() {
        h.auth.setRefreshToken("refresh-1");
        h.startListening();
    }
    // Asks, and the backend refuses the access token.
    void askAndExpire(const std::string& question) {
        h.session->sendToLLM(question);
        h.mainQueue.runUntilIdle();
        h.lastStream().respond(401);
        h.lastStream().finish();
        h.mainQueue.runUntilIdle();
    }
    FakeHttpClient::SendCall& refreshCall() { return h.http.sends.back(); }
    void renew(const std::string& access, const std::string& refresh) {
        refreshCall().completion(backendReply(
            200, {{"accessToken", access}, {"refreshToken", refresh}, {"user", {{"id", "7"}}}}));
        h.mainQueue.runUntilIdle();
    }

    SessionHarness h;
};

TEST_F(SessionRenewal, AnExpiredTokenIsRenewedAndTheSameQuestionSentAgain) {
    askAndExpire("What is a write-ahead log?");
    ASSERT_EQ(h.http.sends.size(), 1u);
    EXPECT_EQ(refreshCall().request.url, "https://api.orvane.test/api/v1/auth/refresh");
    EXPECT_EQ(nlohmann::json::parse(*refreshCall().request.body),
              (nlohmann::json{{"refreshToken", "refresh-1"}}));
    EXPECT_TRUE(h.errors.empty()) << "nothing is shown while the token is renewed";
    EXPECT_EQ(h.session->state(), State::processing);

    renew("access-2", "refresh-2");
    ASSERT_EQ(h.http.streams.size(), 2u);
    EXPECT_EQ(*h.http.streams[1].request.body, *h.http.streams[0].request.body);
    EXPECT_EQ(bearerOf(h.http.streams[1].request), "Bearer access-2");
    EXPECT_EQ(h.auth.accessToken(), "access-2");
    EXPECT_EQ(h.auth.refreshToken(), "refresh-2");

    h.lastStream().respond(200);
    h.lastStream().feed(kAnswer);
    h.lastStream().finish();
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.errors.empty());
    ASSERT_EQ(h.session->history().count(), 1);
    EXPECT_EQ(h.session->history().pairs()[0].answer, "Renewed");
    EXPECT_EQ(h.session->conversationHistory().size(), 2u) << "the question went in once";
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(SessionRenewal, ARefusedRenewalAsksTheUserToSignInAgain) {
    askAndExpire("What is MVCC?");
    refreshCall().completion(backendReply(
        401, {{"error", "Invalid refresh token"}, {"details", "the refresh token has expired"}}));
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Session expired -- please sign in again"}));
    EXPECT_EQ(h.http.streams.size(), 1u);
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_FALSE(h.auth.refreshToken()) << "a refused token is not offered again";

    askAndExpire("What is MVCC?");
    EXPECT_EQ(h.http.sends.size(), 1u) << "with nothing to renew, the 401 is final";
    EXPECT_EQ(h.errors.size(), 2u);
}

TEST_F(SessionRenewal, AServerThatCannotBeReachedSaysSoAndKeepsTheSignIn) {
    askAndExpire("What is Raft?");
    refreshCall().completion(HttpResult{std::nullopt, std::nullopt, "Could not connect"});
    h.mainQueue.advance(AuthManager::refreshRetryDelay);
    ASSERT_EQ(h.http.sends.size(), 2u);
    refreshCall().completion(HttpResult{std::nullopt, std::nullopt, "Could not connect"});
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(
        h.errors,
        (std::vector<std::string>{"Could not renew the session with the server -- try again"}));
    EXPECT_EQ(h.auth.refreshToken(), "refresh-1");
}

TEST_F(SessionRenewal, ASecondRefusalAfterRenewingIsFinal) {
    askAndExpire("What is a B-tree?");
    renew("access-2", "refresh-2");
    h.lastStream().respond(401);
    h.lastStream().finish();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.http.sends.size(), 1u) << "renewed once per question";
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Session expired -- please sign in again"}));
}

TEST_F(SessionRenewal, ARenewalWhoseReplyWasLostIsTriedOnceMore) {
    askAndExpire("What is a lease?");
    refreshCall().completion(HttpResult{std::nullopt, std::nullopt, "Connection reset by peer"});
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.http.sends.size(), 1u);
    h.mainQueue.advance(AuthManager::refreshRetryDelay);
    ASSERT_EQ(h.http.sends.size(), 2u);
    EXPECT_EQ(*h.http.sends[1].request.body, *h.http.sends[0].request.body)
        << "the same refresh token, which the backend honours again within its grace";
    renew("access-2", "refresh-2");
    EXPECT_EQ(bearerOf(h.lastStream().request), "Bearer access-2");
    EXPECT_TRUE(h.errors.empty());
}

TEST_F(SessionRenewal, ATokenRenewedMeanwhileIsUsedWithoutAnotherRenewal) {
    h.session->sendToLLM("slow question");
    h.mainQueue.runUntilIdle();
    h.auth.setAccessToken("access-2");
    h.lastStream().respond(401);
    h.lastStream().finish();
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.http.sends.empty());
    EXPECT_EQ(bearerOf(h.lastStream().request), "Bearer access-2");
}

// The refused transfer is cut loose before the question goes again: whatever it reports later
// (a server closing in the middle of a large upload) cannot end the question asked again.
TEST_F(SessionRenewal, TheRefusedTransferCannotEndTheQuestionAskedAgain) {
    askAndExpire("What is a fencing token?");
    const auto refused = h.http.streams[0];
    EXPECT_TRUE(refused.task->cancelled);
    renew("access-2", "refresh-2");
    refused.finish("Connection reset by peer");
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.session->state(), State::processing);
    h.lastStream().respond(200);
    h.lastStream().feed(kAnswer);
    h.lastStream().finish();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.session->history().count(), 1);
}

TEST_F(SessionRenewal, ASignOutDuringTheRenewalKeepsTheUserSignedOut) {
    askAndExpire("What is a quorum?");
    h.session->stopSession();
    h.auth.signOut();
    renew("access-2", "refresh-2");
    EXPECT_FALSE(h.auth.isAuthenticated());
    EXPECT_EQ(h.http.streams.size(), 1u);
    EXPECT_TRUE(h.errors.empty());
}

// Stopping while an answer streams ends that answer there and then: nothing of it arrives later
// to put a stopped session back into listening.
class SessionStop : public ::testing::Test {
protected:
    SessionStop() { h.startListening(); }
    SessionHarness h;
};

TEST_F(SessionStop, StoppingMidAnswerCancelsItAndTheNextStartListens) {
    h.session->sendToLLM("What is consistent hashing?");
    h.mainQueue.runUntilIdle();
    auto call = h.lastStream();
    call.respond(200);
    call.feed("data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"A ring\"}}\n");
    h.session->stopSession();
    EXPECT_TRUE(call.task->cancelled);
    // What the network had already handed over still reaches the main queue.
    call.feed(kAnswer);
    call.finish();
    h.settle();
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.states.back(), State::idle);
    EXPECT_EQ(h.session->history().count(), 0);
    EXPECT_FALSE(h.session->isAwaitingAnswer());

    h.states.clear();
    h.startListening();
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    EXPECT_EQ(h.audioSource.opens, 2);
}

TEST_F(SessionStop, AnAnswerToAQuestionAskedWhileStoppedLeavesTheSessionStopped) {
    h.session->stopSession();
    h.settle();
    h.session->sendScreenshots("");
    h.mainQueue.runUntilIdle();
    h.lastStream().respond(200);
    h.lastStream().feed(kAnswer);
    h.lastStream().finish();
    h.settle();
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.session->history().count(), 1);
    EXPECT_EQ(h.audioSource.opens, 1) << "answering does not start the capture";
}

TEST_F(SessionStop, StartingWhileAQuestionIsAnsweredStartsHearingAndThinksOn) {
    h.session->stopSession();
    h.settle();
    h.session->sendToLLM("asked while stopped");
    h.settle();
    h.startListening();
    EXPECT_TRUE(h.session->isRunning());
    EXPECT_EQ(h.session->state(), State::processing);
    h.lastStream().respond(200);
    h.lastStream().feed(kAnswer);
    h.settle();
    EXPECT_EQ(h.session->state(), State::listening);
}

}  // namespace
}  // namespace orvane::testing
