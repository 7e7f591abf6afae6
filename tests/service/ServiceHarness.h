#pragma once
// Runs the real build/tavrel-service on a free loopback port and talks HTTP to it.
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace svc {

std::string ServiceBinary();

class ServiceProcess {
public:
    // A service on 127.0.0.1 with its own data folder; the log goes to `<data>.log`.
    ServiceProcess(std::string data, std::string page);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts and waits until it listens; false when it does not come up.
    bool Start();
    // Sends `signal` and waits for the exit; the exit code, or -1 when killed by a signal.
    int Stop(int signal);

    int Port() const { return port_; }
    const std::string& Data() const { return data_; }
    std::string Log() const;

private:
    std::string data_, page_, log_;
    pid_t pid_ = -1;
    int port_ = 0;
};

struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string Header(const std::string& name) const;
};

// One request on its own connection; `target` is sent exactly as given.
HttpResponse Get(int port, const std::string& target,
                 const std::vector<std::string>& extraHeaders = {});

// Connects to the port and returns the socket (for hand-made clients).
int Connect(int port);

std::string UrlEncode(const std::string& text);

// A parsed JSON value, enough for the service's answers.
struct Json {
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    const Json& operator[](const std::string& key) const;
    bool Has(const std::string& key) const { return object.count(key) != 0; }
};

// Parses a whole JSON text; false on any syntax error or trailing text.
bool ParseJson(const std::string& text, Json& out);

// Runs a command and returns its standard output; `status` gets its exit status.
std::string Run(const std::string& command, int* status = nullptr);

}  // namespace svc
