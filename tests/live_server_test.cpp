// The live panel's HTTP interface: what it answers to requests it does not
// understand, and that nothing outside the page's assets can be read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "viewer/serve.h"

namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;

class LiveServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(panel_.Open(bench::DefaultPanelOptions(), {}, &error)) << error;
    viewer::ServerOptions options;
    options.port = 0;
    options.web_dir = viewer::DefaultWebDir();
    server_ = std::make_unique<viewer::LiveServer>(panel_);
    ASSERT_TRUE(server_->Bind(options, &error)) << error;
    thread_ = std::thread([this] { server_->Run(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
    client_->set_connection_timeout(5);
  }
  void TearDown() override {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
  }

  httplib::Result Post(const std::string& path, const std::string& body) {
    return client_->Post(path, body, "application/json");
  }

  bench::Panel panel_;
  std::unique_ptr<viewer::LiveServer> server_;
  std::thread thread_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(LiveServerTest, ServesThePageAndItsAssetsOnly) {
  auto page = client_->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_THAT(page->body, HasSubstr("Business-jet panel"));
  for (const char* path : {"/app.js", "/style.css"}) {
    auto asset = client_->Get(path);
    ASSERT_TRUE(asset) << path;
    EXPECT_EQ(asset->status, 200) << path;
  }
  for (const char* path : {"/index.html/../../CMakeLists.txt", "/../CMakeLists.txt",
                           "/%2e%2e/CMakeLists.txt", "/viewer/web/app.js", "/etc/passwd",
                           "/api/gauge/../../x.png", "/api/nothing"}) {
    auto res = client_->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 404) << path;
    EXPECT_THAT(res->body, ::testing::Not(HasSubstr("cmake_minimum_required"))) << path;
  }
}

TEST_F(LiveServerTest, RefusesBadRequestsWithAReason) {
  struct Case {
    const char* path;
    const char* body;
    int status;
    const char* reason;
  };
  const Case cases[] = {
      {"/api/click", "not json", 400, "not a JSON object"},
      {"/api/click", "[1,2]", 400, "not a JSON object"},
      {"/api/click", R"({"gauge":"orlaaudio"})", 400, "needs"},
      {"/api/click", R"({"gauge":"orlaaudio","x":"1","y":2})", 400, "needs"},
      {"/api/click", R"({"gauge":"nope","x":1,"y":2})", 404, "no gauge named 'nope'"},
      {"/api/click", R"({"gauge":"orlaaudio","x":1,"y":2,"event":"drag"})", 400, "'event'"},
      {"/api/control", R"({"name":"flaps","value":true})", 400, "no control named 'flaps'"},
      {"/api/control", R"({"name":"battery","value":"yes"})", 400, "true or false"},
      {"/api/control", R"({"name":"ambient","value":"noon"})", 400, "'ambient'"},
      {"/api/control", R"({"value":true})", 400, "needs"},
  };
  for (const Case& c : cases) {
    auto res = Post(c.path, c.body);
    ASSERT_TRUE(res) << c.body;
    EXPECT_EQ(res->status, c.status) << c.path << " " << c.body;
    EXPECT_THAT(res->body, HasSubstr(c.reason)) << c.path << " " << c.body;
  }
  for (const char* path : {"/api/gauge/orlahyd.png?scale=0", "/api/gauge/orlahyd.png?scale=9",
                           "/api/gauge/orlahyd.png?scale=x", "/api/log?since=-1"}) {
    auto res = client_->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
  }
  auto missing = client_->Get("/api/gauge/nope.png");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(LiveServerTest, AClickReachesTheGaugeAndComesBackInTheLog) {
  auto res = Post("/api/click", R"({"gauge":"VORN_Kestrel_FMC","x":360,"y":66})");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  const json reply = json::parse(res->body);
  EXPECT_TRUE(reply["hit"].get<bool>());
  ASSERT_GE(reply["entries"].size(), 1u);
  EXPECT_EQ(reply["entries"][0]["id"], "0x1038C");
  auto miss = Post("/api/click", R"({"gauge":"orlahyd","x":10,"y":10})");
  ASSERT_TRUE(miss);
  EXPECT_FALSE(json::parse(miss->body)["hit"].get<bool>());
}

TEST_F(LiveServerTest, ControlsChangeTheAircraft) {
  auto res = Post("/api/control", R"({"name":"battery","value":true})");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  EXPECT_TRUE(json::parse(res->body)["battery"].get<bool>());
  EXPECT_TRUE(panel_.aircraft().battery());
  auto picture = client_->Get("/api/gauge/orlahyd.png?scale=2&overlay=1");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200);
  EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(picture->body.substr(1, 3), "PNG");
}

}  // namespace
