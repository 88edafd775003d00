#pragma once

#include "MiniHttpServer.h"

// A MiniHttpServer on loopback that is also the application's HTTP proxy for
// its lifetime, so requests for the program's fixed update host reach it.
class LoopbackUpdateServer : public MiniHttpServer
{
public:
    LoopbackUpdateServer();
    ~LoopbackUpdateServer() override;

    bool isListening() const { return m_listening; }

private:
    bool m_listening = false;
};
