#include "blocking/BlockLists.h"

namespace kt {

const std::vector<std::string>& aiHostList() {
    static const std::vector<std::string> hosts = {
        // Cursor: six API hosts, its API domain, its site and the API host under the site
        "api2.cursor.sh",
        "api3.cursor.sh",
        "api4.cursor.sh",
        "repo42.cursor.sh",
        "prod.authentication.cursor.sh",
        "metrics.cursor.sh",
        "cursor.sh",
        "cursor.com",
        "api.cursor.com",
        // Codeium
        "server.codeium.com",
        "codeium.com",
        // Replit
        "replit.com",
        "api.replit.com",
        // Perplexity
        "perplexity.ai",
        "www.perplexity.ai",
        "pplx.ai",
        // OpenAI and ChatGPT
        "chat.openai.com",
        "chatgpt.com",
        "api.openai.com",
        // Anthropic and Claude
        "claude.ai",
        "api.anthropic.com",
        // GitHub Copilot
        "copilot.github.com",
        "githubcopilot.com",
        "copilot-proxy.githubusercontent.com",
        // Google Gemini
        "gemini.google.com",
        "generativelanguage.googleapis.com",
        // Microsoft Copilot
        "copilot.microsoft.com",
        // Meta AI
        "meta.ai",
        // Mistral
        "chat.mistral.ai",
        "mistral.ai",
    };
    return hosts;
}

const std::vector<FirewallRule>& encryptedDnsRules() {
    static const std::vector<FirewallRule> rules = {
        blockPort(Protocol::Tcp, 443, "1.1.1.1"),
        blockPort(Protocol::Udp, 443, "1.1.1.1"),
        blockPort(Protocol::Tcp, 443, "1.0.0.1"),
        blockPort(Protocol::Udp, 443, "1.0.0.1"),
        blockPort(Protocol::Tcp, 443, "8.8.8.8"),
        blockPort(Protocol::Udp, 443, "8.8.8.8"),
        blockPort(Protocol::Tcp, 443, "8.8.4.4"),
        blockPort(Protocol::Udp, 443, "8.8.4.4"),
        blockPort(Protocol::Tcp, 443, "9.9.9.9"),
        blockPort(Protocol::Udp, 443, "9.9.9.9"),
        blockPort(Protocol::Tcp, 443, "149.112.112.112"),
        blockPort(Protocol::Udp, 443, "149.112.112.112"),
        blockPort(Protocol::Tcp, 443, "104.16.248.249"),
        blockPort(Protocol::Udp, 443, "104.16.248.249"),
        blockPort(Protocol::Tcp, 443, "104.16.249.249"),
        blockPort(Protocol::Udp, 443, "104.16.249.249"),
        blockPort(Protocol::Tcp, 443, "104.16.132.229"),
        blockPort(Protocol::Tcp, 443, "104.16.133.229"),
        blockPort(Protocol::Tcp, 443, "208.67.222.222"),
        blockPort(Protocol::Tcp, 443, "208.67.220.220"),
        blockPort(Protocol::Tcp, 443, "94.140.14.14"),
        blockPort(Protocol::Tcp, 443, "94.140.15.15"),
        blockPort(Protocol::Tcp, 443, "45.90.28.0"),
        blockPort(Protocol::Tcp, 443, "45.90.30.0"),
        blockPortAnywhere(IpFamily::Both, Protocol::Tcp, 853),
        blockPortAnywhere(IpFamily::Both, Protocol::Udp, 853),
        blockPortAnywhere(IpFamily::IPv6, Protocol::Tcp, 853),
        blockPortAnywhere(IpFamily::IPv6, Protocol::Udp, 853),
        blockPort(Protocol::Tcp, 443, "17.253.0.0/16"),
    };
    return rules;
}

const std::vector<FirewallRule>& serviceRangeRules() {
    static const std::vector<FirewallRule> rules = {
        blockAddress("160.79.104.0/24"), blockAddress("160.79.105.0/24"),
        blockAddress("104.18.32.0/24"),  blockAddress("104.18.33.0/24"),
        blockAddress("104.18.26.0/24"),  blockAddress("104.18.27.0/24"),
        blockAddress("140.82.112.0/20"), blockAddress("20.201.28.0/24"),
        blockAddress("20.200.245.0/24"), blockAddress("76.76.21.0/24"),
        blockAddress("2607:6bc0::/32"),  blockAddress("2620:1ec::/32"),
        blockAddress("2606:50c0::/32"),  blockAddress("2606:4700::/32"),
        blockAddress("2a06:98c1::/32"),
    };
    return rules;
}

}  // namespace kt
