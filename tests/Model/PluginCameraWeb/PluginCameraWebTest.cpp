// The web remote's API through its real server on an ephemeral port and a real bus.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "PluginCameraWeb.h"
#include "RecordFormat.h"
#include "TempDir.h"

namespace {

using nlohmann::json;

// One HTTP/1.1 connection to the server under test.
class Client {
  public:
    explicit Client(int port) : m_port(port), m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval t{5, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof(t));
        connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    }
    ~Client() { close(m_fd); }
    // As the page sends it, but for what `headers` names itself ("X-Host:" leaves Host out).
    void Send(const std::string& method, const std::string& path, const std::string& body,
              const std::string& headers = "") {
        std::string own = headers.find("Host:") == std::string::npos
                              ? "Host: 127.0.0.1:" + std::to_string(m_port) + "\r\n"
                              : std::string();
        if (headers.find("Content-Type:") == std::string::npos)
            own += "Content-Type: application/json\r\n";
        SendRaw(method + " " + path + " HTTP/1.1\r\n" + own + "Connection: close\r\n" + headers +
                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    bool Sent(const std::string& r) {
        return send(m_fd, r.data(), r.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(r.size());
    }
    void SendRaw(const std::string& r) {
        ASSERT_EQ(send(m_fd, r.data(), r.size(), MSG_NOSIGNAL), static_cast<ssize_t>(r.size()));
    }
    // Reads until `needle` has come (true) or the server closed or went quiet (false).
    bool ReadUntil(const std::string& needle) {
        char buf[4096];
        while (m_in.find(needle) == std::string::npos) {
            ssize_t n = recv(m_fd, buf, sizeof(buf), 0);
            if (n <= 0)
                return false;
            m_in.append(buf, static_cast<size_t>(n));
        }
        return true;
    }
    int Status() const { return m_in.size() > 12 ? std::atoi(m_in.c_str() + 9) : 0; }
    std::string Body() const { return m_in.substr(m_in.find("\r\n\r\n") + 4); }
    const std::string& In() const { return m_in; }

  private:
    int m_port;
    int m_fd;
    std::string m_in;
};

struct Published {
    int event;
    std::string payload;  // the text before the NUL
    int length;
};

class WebApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int e = CAMERA_SET_FOCUS_MODE_EVENT; e <= CAMERA_TOUCH_FOCUS_EVENT; ++e) {
            bus->Subscribe(static_cast<EventType>(e),
                           {[this, e](void* data, int length) {
                                std::lock_guard<std::mutex> lock(mutex);
                                published.push_back({e, static_cast<char*>(data), length});
                            },
                            this});
        }
        config.port = 0;
        config.heartbeatMs = 200;
    }
    void Start() { ASSERT_EQ(web.Start(bus, config), 0); }
    // A whole exchange; status 0 when the server closed without an answer.
    Client& Call(const std::string& method, const std::string& path, const std::string& body = "",
                 const std::string& headers = "") {
        clients.emplace_back(new Client(web.Port()));
        clients.back()->Send(method, path, body, headers);
        clients.back()->ReadUntil("\n\n\n");  // never comes: reads to the end
        return *clients.back();
    }
    std::vector<Published> Taken() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::move(published);
    }
    Client& Stream(const std::string& query = "") {
        clients.emplace_back(new Client(web.Port()));
        clients.back()->Send("GET", "/api/events" + query, "");
        return *clients.back();
    }
    void WaitForStreams(int n) {
        for (int i = 0; i < 500 && web.Hub()->Streams() != n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(web.Hub()->Streams(), n);
    }
    void PublishRecord(const CameraParams& p) {
        bus->Publish(CAMERA_PARAMS_NOTIFY_EVENT, const_cast<CameraParams*>(&p), kCameraParamsWireSize);
    }

    std::shared_ptr<VirtualEventBus> bus = std::make_shared<VirtualEventBus>();
    PluginCameraWeb web{"web"};
    WebConfig config;
    std::mutex mutex;
    std::vector<Published> published;
    std::vector<std::unique_ptr<Client>> clients;
    LogCapture log;
};

TEST_F(WebApiTest, BadRequestsAreRefusedWithTheirReasonAndPublishNothing) {
    Start();
    const std::string big(5000, ' ');
    const std::string iso = R"({"setting":"iso","value":"400"})";
    const struct {
        const char *method, *path;
        std::string body;
        int status;
        const char* error;
        std::string headers = "";
    } cases[] = {
        {"POST", "/api/set", R"({"setting":"exposure","value":"1"})", 400,
         "unknown setting 'exposure' (one of focus, iso, iris, shutter, wb)"},
        {"POST", "/api/set", R"({"setting":"iso","value":")" + std::string(100, '8') + "\"}", 400,
         "the value is 100 bytes; at most 99 fit the request"},
        {"POST", "/api/set", R"({"setting":"iso","value":"16)", 400,
         "malformed JSON: [json.exception.parse_error.101] parse error at line 1, column 29"},
        {"POST", "/api/set", "[1]", 400, "expected a JSON object, got array"},
        {"POST", "/api/set", R"({"setting":"iso"})", 400, "missing field 'value'"},
        {"POST", "/api/set", R"({"setting":"iso","value":1600})", 400, "setting and value must be strings"},
        {"POST", "/api/set", R"({"setting":"iso","value":""})", 400, "the value is empty"},
        {"POST", "/api/set", R"({"setting":"iso","value":"1\u0000"})", 400,
         "the value holds a NUL character"},
        {"POST", "/api/set", R"({"setting":"iso","value":"1","x":2})", 400, "unknown field 'x'"},
        {"POST", "/api/set", R"({"setting":"iso","value":")" + big + "\"}", 413,
         "the body is over 4096 bytes"},
        {"POST", "/api/touch", R"({"x":1920,"y":0})", 400,
         "x 1920 is outside the 1920 x 1080 surface (0 to 1919)"},
        {"POST", "/api/touch", R"({"x":0,"y":-1})", 400,
         "y -1 is outside the 1920 x 1080 surface (0 to 1079)"},
        {"POST", "/api/touch", R"({"x":0,"y":18446744073709551615})", 400,
         "y 18446744073709551615 is outside"},
        {"POST", "/api/touch", R"({"x":9.5,"y":0})", 400, "x must be a whole number"},
        {"POST", "/api/touch", R"({"x":1E400,"y":0})", 400,
         "malformed JSON: [json.exception.out_of_range.406] number overflow"},
        {"POST", "/api/record", R"({"on":"yes"})", 400, "on must be true or false"},
        {"POST", "/api/record", "", 400, "the body is empty: expected a JSON object"},
        {"GET", "/api/set", "", 405, "GET is not allowed on /api/set (allowed: POST)"},
        {"DELETE", "/api/record", "", 405, "DELETE is not allowed on /api/record (allowed: GET, POST)"},
        {"POST", "/", "", 405, "POST is not allowed on /"},
        {"GET", "/api/state", "", 404, "no such API path: /api/state"},
        {"GET", "/../etc/passwd", "", 404, "no such page"},
        {"GET", "/app.js.map", "", 404, "no such page: /app.js.map"},
        // What another site's page can make a browser send, and DNS rebinding.
        {"POST", "/api/set", iso, 415, "the body must be sent as Content-Type: application/json",
         "Content-Type: text/plain\r\n"},
        {"POST", "/api/record", R"({"on":true})", 415, "the body must be sent",
         "Content-Type: multipart/form-data; boundary=x\r\n"},
        {"POST", "/api/set", iso, 403, "requests from origin 'http://evil.example' are refused",
         "Origin: http://evil.example\r\n"},
        {"POST", "/api/set", iso, 403, "requests from origin 'null'", "Origin: null\r\n"},
        {"POST", "/api/touch", R"({"x":1,"y":1})", 403, "requests from another site's page are refused",
         "Sec-Fetch-Site: same-site\r\n"},
        {"GET", "/api/record", "", 403, "'evil.example:", "Host: evil.example:8080\r\n"},
        {"GET", "/", "", 403, "'127.0.0.1:1' is not a name of this server", "Host: 127.0.0.1:1\r\n"},
        {"GET", "/api/record", "", 400, "the Host header is missing", "X-Host: none\r\n"},
        {"GET", "/", "", 400, "more than one Host header", "Host: localhost\r\nHost: evil.example\r\n"},
        // Control bytes in the target: a cut path, a forged log line.
        {"POST", "/api/set%00.html", iso, 400, "the request target holds a control character"},
        {"GET", "/app.js%00.txt", "", 400, "the request target holds a control character"},
        {"GET", "/api/x%0a03:22:00.000%205%20camera.web%20FAKE", "", 400,
         "the request target holds a control"},
    };
    for (const auto& c : cases) {
        Client& reply = Call(c.method, c.path, c.body, c.headers);
        EXPECT_EQ(reply.Status(), c.status) << c.path << " " << c.body.substr(0, 60);
        json body = json::parse(reply.Body(), nullptr, false);
        EXPECT_EQ(body.value("error", "").rfind(c.error, 0), 0u) << reply.Body();
        EXPECT_EQ(Taken().size(), 0u) << c.body;
    }
    EXPECT_NE(Call("GET", "/api/set").In().find("Allow: POST\r\n"), std::string::npos);
    Client chunked(web.Port());  // no declared length: read to its end, then refused
    chunked.SendRaw(
        "POST /api/set HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n1388\r\n" +
        std::string(5000, ' ') + "\r\n0\r\n\r\n");
    EXPECT_TRUE(chunked.ReadUntil("{\"error\":\"the body is over 4096 bytes\"}")) << chunked.In();
    EXPECT_EQ(Taken().size(), 0u);
}

TEST_F(WebApiTest, GoodRequestsPublishTheHostsHundredBytePayloadAndAnswer202) {
    Start();
    const std::string longest(99, '7');
    const struct {
        const char* path;
        std::string body;
        int event;
        std::string payload;
        std::string headers = "";
    } cases[] = {
        {"/api/set", R"({"setting":"focus","value":"MF"})", 9001, "MF"},
        {"/api/set", R"({"setting":"iso","value":"1600"})", 9002, "1600"},
        {"/api/set", R"({"setting":"iris","value":"f/2.8"})", 9003, "f/2.8"},
        {"/api/set", R"({"setting":"shutter","value":"1/250"})", 9004, "1/250"},
        {"/api/set", R"({"value":"Daylight","setting":"wb"})", 9005, "Daylight"},
        {"/api/set", R"({"setting":"iso","value":")" + longest + "\"}", 9002, longest},
        {"/api/record", R"({"on":true})", 9006, "1"},
        {"/api/record", R"({"on":false})", 9006, "0"},
        {"/api/touch", R"({"x":960,"y":540})", 9007, "62915100"},  // 960 << 16 | 540
        {"/api/touch", R"({"x":1919,"y":0})", 9007, "125763584"},
        // The page's own requests, and a value that would forge a log line and colour a console.
        {"/api/set", R"({"setting":"wb","value":"AUTO\n03:22:00.000 5 camera.web FAKE\u001b[31m"})", 9005,
         "AUTO\n03:22:00.000 5 camera.web FAKE\x1b[31m",
         "Content-Type: Application/JSON; charset=utf-8\r\nSec-Fetch-Site: same-origin\r\nHost: "
         "localhost\r\n"},
        {"/api/record", R"({"on":false})", 9006, "0",
         "Origin: http://127.0.0.1:" + std::to_string(web.Port()) + "\r\n"},
    };
    for (const auto& c : cases) {
        Client& reply = Call("POST", c.path, c.body, c.headers);
        EXPECT_EQ(reply.Status(), 202) << c.body;
        EXPECT_EQ(json::parse(reply.Body(), nullptr, false),
                  (json{{"published", {{"event", c.event}, {"payload", c.payload}, {"bytes", 100}}}}));
        std::vector<Published> p = Taken();
        ASSERT_EQ(p.size(), 1u) << c.body;
        EXPECT_EQ(p[0].event, c.event);
        EXPECT_EQ(p[0].payload, c.payload);
        EXPECT_EQ(p[0].length, 100);
    }
    for (const std::string& m : log.Messages())
        EXPECT_EQ(m.find_first_of("\n\x1b"), std::string::npos) << m;
    EXPECT_TRUE(log.Has(5, R"(publish event 9005 "AUTO\n03:22:00.000 5 camera.web FAKE\x1b[31m")"));
}

TEST_F(WebApiTest, RecordAndEventStreamCarryEveryPublishedRecordAndAHeartbeat) {
    Start();
    EXPECT_EQ(Call("GET", "/api/record").Status(), 503);
    CameraParams p;
    p.cameraType = SonyA7M3;
    p.connectState = 1;
    p.iso = "800";
    p.supportedIso = {"800", "1600"};
    PublishRecord(p);
    Client& record = Call("GET", "/api/record");
    EXPECT_EQ(record.Status(), 200);
    EXPECT_EQ(json::parse(record.Body(), nullptr, false), tools::RecordToJson(p));

    Client& a = Stream();
    Client& b = Stream();
    WaitForStreams(2);
    ASSERT_TRUE(a.ReadUntil("\"iso\":\"800\"")) << "the last record on connect";
    for (const char* iso : {"1600", "3200", "6400"}) {
        p.iso = iso;
        PublishRecord(p);
    }
    for (Client* c : {&a, &b}) {
        ASSERT_TRUE(c->ReadUntil("\"iso\":\"6400\"")) << c->In();
        EXPECT_NE(c->In().find("text/event-stream"), std::string::npos);
        size_t at1600 = c->In().find("id: 2\nevent: record\ndata: {"), at3200 = c->In().find("id: 3\n");
        EXPECT_TRUE(at1600 != std::string::npos && at3200 > at1600) << c->In();
        EXPECT_TRUE(c->ReadUntil("event: heartbeat\ndata: {}\n\n"));
    }
    Client& head = Call("HEAD", "/api/events");
    EXPECT_EQ(head.Status(), 200);
    EXPECT_EQ(head.Body(), "") << "headers only";
    web.UnInit();  // ends open streams
    EXPECT_FALSE(a.ReadUntil("never"));
}

TEST_F(WebApiTest, PageAssetsAreServedAndNothingElse) {
    Start();
    const struct {
        const char *path, *type, *content;
    } cases[] = {{"/", "text/html", "<script src=\"app.js\""},
                 {"/app.js", "text/javascript", "new EventSource("},
                 {"/app.css", "text/css", "#surface"}};
    for (const auto& c : cases) {
        Client& reply = Call("GET", c.path);
        EXPECT_EQ(reply.Status(), 200) << c.path;
        EXPECT_NE(reply.In().find(std::string("Content-Type: ") + c.type), std::string::npos) << c.path;
        EXPECT_NE(reply.Body().find(c.content), std::string::npos) << c.path;
    }
}

TEST_F(WebApiTest, ATokenGuardsEveryApiCallAndTheStream) {
    TempDir dir;
    std::ofstream(dir.File("token")) << "s3cret-token\n";
    config.address = "0.0.0.0";
    EXPECT_EQ(web.Start(bus, config), -1) << "a non-loopback address needs a token";
    for (const char* weak : {"missing", "password", "abababababababababab"}) {
        std::ofstream(dir.File(weak)) << weak;
        config.tokenFile = dir.File(weak == std::string("missing") ? "none" : weak);
        EXPECT_EQ(web.Start(bus, config), -1) << weak;
    }
    EXPECT_TRUE(
        log.Has(2, "Refusing to start: token file " + dir.File("password") +
                       " holds a weak token: 8 characters, 7 different, about 37 bits; at least 64 bits "
                       "and 8 different characters are needed (e.g. 16 random hex digits, or "
                       "generate_token = yes)"));
    config.tokenFile = dir.File("token");
    Start();
    log.Clear();
    for (const std::string& auth : {std::string(), std::string("Authorization: Bearer s3cret-tokeX\r\n")}) {
        EXPECT_EQ(Call("GET", "/api/record", "", auth).Status(), 401);
        EXPECT_EQ(Call("POST", "/api/set", R"({"setting":"iso","value":"1600"})", auth).Status(), 401);
        EXPECT_EQ(Call("GET", "/api/events", "", auth).Status(), 401);
    }
    EXPECT_EQ(Call("GET", "/api/nothing").Status(), 401) << "no path is told without the token";
    EXPECT_EQ(Taken().size(), 0u);
    EXPECT_EQ(Call("POST", "/api/set", R"({"setting":"iso","value":"1600"})",
                   "Authorization: Bearer s3cret-token\r\n")
                  .Status(),
              202);
    EXPECT_EQ(Call("GET", "/", "").Status(), 200) << "the page itself is public";
    Client& s = Stream("?token=s3cret-token");
    EXPECT_TRUE(s.ReadUntil("retry: 1000")) << s.In();
    // Guessing: a few wrong tokens at once, then the client waits, right token or not. One log
    // line for all the refusals of the test.
    int refused = 0;
    for (int i = 0; i < 12; ++i)
        refused += Call("GET", "/api/record", "", "Authorization: Bearer guess" + std::to_string(i) + "\r\n")
                       .Status() == 401;
    EXPECT_LT(refused, 12);
    Client& braked = Call("GET", "/api/record", "", "Authorization: Bearer s3cret-token\r\n");
    EXPECT_EQ(braked.Status(), 429);
    EXPECT_NE(braked.In().find("Retry-After: 1\r\n"), std::string::npos);
    const std::vector<std::string> lines = log.Messages();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& m) { return m.find(": 401 ") != std::string::npos; }),
              1);
}

TEST_F(WebApiTest, AGeneratedTokenIsPrintedOnceAndNeverLogged) {
    config.generateToken = true;
    testing::internal::CaptureStdout();
    Start();
    const std::string out = testing::internal::GetCapturedStdout();
    const size_t at = out.find("?token=");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string token = out.substr(at + 7, 32);
    for (const std::string& m : log.Messages())
        EXPECT_EQ(m.find(token), std::string::npos) << m;
    EXPECT_EQ(Call("GET", "/api/record", "", "Authorization: Bearer " + token + "\r\n").Status(), 503);
}

// Idle and trickling connections take no place and are closed at the header deadline; requests
// beyond the places are answered 503; a stream whose client left frees its place at once.
TEST_F(WebApiTest, ConnectionsBeyondTheLimitAreAnsweredAndIdleOnesClosed) {
    config.maxConnections = 3;
    config.headerTimeoutS = 1;
    config.heartbeatMs = 10000;
    Start();
    PublishRecord(CameraParams());
    std::vector<std::unique_ptr<Client>> idle, streams;
    for (int i = 0; i < 4; ++i)
        idle.emplace_back(new Client(web.Port()));
    EXPECT_EQ(Call("GET", "/api/record").Status(), 200) << "idle connections take no place";
    // One header byte every 300 ms renews the library's idle time-out, not the deadline.
    const std::string line = "GET /api/record HTTP/1.1\r\n";
    size_t sent = 0;
    while (sent < line.size() && idle[0]->Sent(line.substr(sent, 1))) {
        ++sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_LT(sent, line.size()) << "closed before its request line was in";
    for (int i = 0; i < 3; ++i) {
        streams.emplace_back(new Client(web.Port()));
        streams.back()->Send("GET", "/api/events", "");
    }
    WaitForStreams(3);
    Client& busy = Call("GET", "/api/record");
    EXPECT_EQ(busy.Status(), 503);
    EXPECT_NE(busy.In().find("Retry-After: 1\r\n"), std::string::npos) << busy.In();
    EXPECT_EQ(json::parse(busy.Body(), nullptr, false).value("error", "").rfind("the server is busy", 0), 0u);
    streams.pop_back();
    int status = 0;  // within the stream's look for a gone client, far below its heartbeat
    for (int i = 0; i < 150 && status != 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        status = Call("GET", "/api/record").Status();
    EXPECT_EQ(status, 200);
}

TEST(WebConfigTest, FileErrorsNameTheLineAndTheProblem) {
    const struct {
        const char *text, *error;
    } cases[] = {
        {"port = 70000", "line 1: port must be a whole number from 0 to 65535"},
        {"# remote\n\ncolour = red", "line 3: unknown key 'colour'"},
        {"address = camera.local", "line 1: address 'camera.local' is not a numeric IPv4 or IPv6 address"},
        {"generate_token = maybe", "line 1: generate_token must be yes or no"},
        {"port", "line 1: expected KEY = VALUE"},
        {"host_names = camera.local a_b",
         "line 1: host name 'a_b' may hold only letters, digits, '.' and '-'"},
        {"reserved_connections = 40", "reserved_connections must be below max_connections"}};
    for (const auto& c : cases) {
        WebConfig config;
        std::string error;
        EXPECT_EQ(config.Parse(c.text, error), -1);
        EXPECT_EQ(error, c.error);
    }
    WebConfig config;
    std::string error, token;
    ASSERT_EQ(
        config.Parse("address = 10.0.0.2 # LAN\nport = 80\ngenerate_token = yes\nidle_timeout = 5", error),
        0);
    EXPECT_EQ(config.port, 80);
    EXPECT_EQ(config.idleTimeoutS, 5);
    ASSERT_EQ(config.ResolveToken(token, error), 0);
    EXPECT_EQ(token.size(), 32u);
}

}  // namespace
