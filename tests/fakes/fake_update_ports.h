#pragma once
// In-memory TCP client and digest ports for the update service: connections that play a script
// of answer bytes and idle polls, and files that exist only as a size and a digest.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/digest.h"
#include "platform/tcp_client.h"

namespace tv::fakes {

// A run of answer bytes, made available after `silentPolls` polls (DataWaiting or Receive) that
// find nothing.
struct Piece {
  int silentPolls = 0;
  std::string bytes;
};

struct ConnectionScript {
  bool refused = false;  // the connect fails
  bool sendFails = false;
  std::vector<Piece> pieces;
  // After the last piece: receives fail as on a closed connection, or else find nothing for ever.
  bool closedAtEnd = true;
};

// What the connections of one connector saw.
struct ConnectionLog {
  std::vector<std::string> hosts;  // every connect asked for, refused ones included
  std::vector<int> ports;
  std::vector<std::string> requests;  // what each opened connection was sent
  int opened = 0;
  int closed = 0;
};

class ScriptedConnection final : public TcpConnection {
 public:
  ScriptedConnection(ConnectionScript script, ConnectionLog& log)
      : script_(std::move(script)), log_(log), index_(log.requests.size()) {
    ++log_.opened;
    log_.requests.emplace_back();
    if (!script_.pieces.empty()) silence_ = script_.pieces.front().silentPolls;
  }
  ~ScriptedConnection() override { ++log_.closed; }

  int Send(std::span<const unsigned char> bytes) override {
    if (script_.sendFails) return 0;
    log_.requests[index_].append(bytes.begin(), bytes.end());
    return static_cast<int>(bytes.size());
  }
  bool DataWaiting() override {
    Settle();
    if (AtEnd()) return false;
    if (silence_ > 0) {
      --silence_;
      return false;
    }
    return true;
  }
  int Receive(std::span<unsigned char> buffer) override {
    Settle();
    if (AtEnd()) return script_.closedAtEnd ? -1 : 0;
    if (silence_ > 0) {
      --silence_;
      return 0;
    }
    const std::string& bytes = script_.pieces[piece_].bytes;
    const std::size_t count = std::min(buffer.size(), bytes.size() - offset_);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset_), count, buffer.begin());
    offset_ += count;
    return static_cast<int>(count);
  }

 private:
  [[nodiscard]] bool AtEnd() const { return piece_ >= script_.pieces.size(); }
  // Moves past pieces whose bytes are all taken.
  void Settle() {
    while (!AtEnd() && silence_ == 0 && offset_ >= script_.pieces[piece_].bytes.size()) {
      ++piece_;
      offset_ = 0;
      if (!AtEnd()) silence_ = script_.pieces[piece_].silentPolls;
    }
  }

  ConnectionScript script_;
  ConnectionLog& log_;
  std::size_t index_;
  std::size_t piece_ = 0;
  std::size_t offset_ = 0;
  int silence_ = 0;
};

// Hands out one scripted connection per connect, in order; refuses once the scripts run out, and
// refuses as a real connector would a host that is empty or carries a ":" (no such name).
class ScriptedConnector final : public TcpConnector {
 public:
  std::deque<ConnectionScript> scripts;
  ConnectionLog log;

  ScriptedConnector() = default;
  explicit ScriptedConnector(std::vector<ConnectionScript> list) : scripts(list.begin(), list.end()) {}

  std::unique_ptr<TcpConnection> Connect(std::string_view host, int port) override {
    log.hosts.emplace_back(host);
    log.ports.push_back(port);
    if (host.empty() || host.find(':') != std::string_view::npos || scripts.empty()) return nullptr;
    ConnectionScript script = std::move(scripts.front());
    scripts.pop_front();
    if (script.refused) return nullptr;
    return std::make_unique<ScriptedConnection>(std::move(script), log);
  }
};

// A connection script that delivers `answer` at once and then reads as closed.
inline ConnectionScript Answering(std::string answer) { return {.pieces = {{0, std::move(answer)}}}; }

struct FakeFile {
  std::int64_t size = 0;
  std::string md5;
};

// Files by name; a name it doesn't hold has a negative size and no digest.
class FakeFileDigest final : public FileDigest {
 public:
  std::map<std::string, FakeFile> files;
  std::vector<std::string> digested;  // the names whose digest was asked for, in order

  std::int64_t FileSize(std::string_view name) override {
    const auto found = files.find(std::string(name));
    return found == files.end() ? -1 : found->second.size;
  }
  std::string Md5OfFile(std::string_view name) override {
    digested.emplace_back(name);
    const auto found = files.find(std::string(name));
    return found == files.end() ? std::string() : found->second.md5;
  }
};

}  // namespace tv::fakes
