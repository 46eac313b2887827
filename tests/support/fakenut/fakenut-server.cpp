// fakenut-server: a FakeNutServer that serves like upsd for one UPS "fake", as a program.
#include "FakeNutServer.h"

#include <iostream>
#include <string>

int main()
{
    const fakenut::FakeNutServer server(fakenut::Behaviour::Serve);
    if (!server.isListening())
        return 1;
    std::cout << server.port() << std::endl;
    for (std::string ignored; std::getline(std::cin, ignored);) {
    }
    for (const std::string& request : server.requests())
        std::cout << request << '\n';
    return 0;
}
