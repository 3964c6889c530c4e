#include <gtest/gtest.h>

#include "server/request_intake.h"

namespace tv {
namespace {

RequestContext Parsed(std::string head) {
  RequestContext request;
  request.head = std::move(head);
  ParseRequest(request);
  return request;
}

TEST(ParseRequestTest, RequestLinesAreTakenApart) {
  struct Case {
    const char* line;
    const char* method;
    const char* target;
    const char* path;
    const char* query;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1", "GET", "/", "/", ""},
      {"GET /host?m=PP HTTP/1.1", "GET", "/host?m=PP", "/host", "m=pp"},
      {"GET /host?m=pp?x=1 HTTP/1.1", "GET", "/host?m=pp?x=1", "/host", "m=pp"},
      {"GET /Host HTTP/1.1", "GET", "/Host", "/host", ""},
      {"GET /x http/1.0", "GET", "/x", "/x", ""},
      {"GET /x", "GET", "", "", ""},
      {"GET  /x HTTP/1.1", "GET", " /x", " /x", ""},
      {"GET /a b HTTP/1.1", "GET", "/a b", "/a b", ""},
      {"POST /host?M=Pp HTTP/1.1", "POST", "/host?M=Pp", "/host", "m=pp"},
      {"GET HTTP/1.1", "GET", "", "", ""},  // nothing between the method and " HTTP"
      {"", "", "", "", ""},
      {"GET /%41?m%3Dpp HTTP/1.1", "GET", "/%41?m%3Dpp", "/%41", "m%3dpp"},  // nothing is decoded
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const RequestContext request = Parsed(std::string(c.line) + "\r\nHost: x\r\n\r\n");
    EXPECT_EQ(request.requestLine, c.line);
    EXPECT_EQ(request.method, c.method);
    EXPECT_EQ(request.target, c.target);
    EXPECT_EQ(request.path, c.path);
    EXPECT_EQ(QueryOf(request.target), c.query);
  }
}

TEST(ParseRequestTest, UserAgentCases) {
  struct Case {
    const char* head;
    const char* userAgent;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1\r\nUser-Agent: Mozilla/5.0 (Phone)\r\n\r\n", "Mozilla/5.0 (Phone)"},
      {"GET / HTTP/1.1\r\nuSeR-aGeNt:   spaced out   \r\n\r\n", "spaced out"},
      {"GET / HTTP/1.1\r\nUser-Agent:\tTab\r\n\r\n", "\tTab"},  // only spaces are trimmed
      // Without the header the value is taken from the head's 11th character on.
      {"GET /host?m=pp HTTP/1.1\r\nHost: x\r\n\r\n", "m=pp HTTP/1.1"},
      {"GET /x HTTP/1.1\r\nX-User-Agent: first\r\nUser-Agent: real\r\n\r\n", "first"},
      {"GET / HTTP/1.1\r\nUser-Agent: cut off", ""},
      {"GET", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    EXPECT_EQ(Parsed(c.head).userAgent, c.userAgent);
  }
}

TEST(ParseRequestTest, AHeadWithoutCarriageReturnIsOneRequestLine) {
  const RequestContext request = Parsed("GET / HTTP/1.1\nHost: x\n\n");
  EXPECT_EQ(request.requestLine, "GET / HTTP/1.1\nHost: x\n\n");
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/");
}

}  // namespace
}  // namespace tv
