#pragma once
// The real catalogue service (build/tavrel-service) on a free loopback port, with its data in
// a private folder; stopped when the object goes.
#include <string>

namespace pagetest {

class ServiceProcess {
public:
    ServiceProcess(const std::string& binary, const std::string& dataDir,
                   const std::string& pageDir);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool Running() const { return port_ > 0; }
    std::string Base() const;  // "http://127.0.0.1:port/"
    void Stop();

private:
    int pid_ = -1;
    int port_ = 0;
};

}  // namespace pagetest
