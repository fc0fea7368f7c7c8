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

const std::vector<std::string>& encryptedDnsRules() {
    static const std::vector<std::string> rules = {
        "block drop quick proto tcp from any to 1.1.1.1 port 443",
        "block drop quick proto udp from any to 1.1.1.1 port 443",
        "block drop quick proto tcp from any to 1.0.0.1 port 443",
        "block drop quick proto udp from any to 1.0.0.1 port 443",
        "block drop quick proto tcp from any to 8.8.8.8 port 443",
        "block drop quick proto udp from any to 8.8.8.8 port 443",
        "block drop quick proto tcp from any to 8.8.4.4 port 443",
        "block drop quick proto udp from any to 8.8.4.4 port 443",
        "block drop quick proto tcp from any to 9.9.9.9 port 443",
        "block drop quick proto udp from any to 9.9.9.9 port 443",
        "block drop quick proto tcp from any to 149.112.112.112 port 443",
        "block drop quick proto udp from any to 149.112.112.112 port 443",
        "block drop quick proto tcp from any to 104.16.248.249 port 443",
        "block drop quick proto udp from any to 104.16.248.249 port 443",
        "block drop quick proto tcp from any to 104.16.249.249 port 443",
        "block drop quick proto udp from any to 104.16.249.249 port 443",
        "block drop quick proto tcp from any to 104.16.132.229 port 443",
        "block drop quick proto tcp from any to 104.16.133.229 port 443",
        "block drop quick proto tcp from any to 208.67.222.222 port 443",
        "block drop quick proto tcp from any to 208.67.220.220 port 443",
        "block drop quick proto tcp from any to 94.140.14.14 port 443",
        "block drop quick proto tcp from any to 94.140.15.15 port 443",
        "block drop quick proto tcp from any to 45.90.28.0 port 443",
        "block drop quick proto tcp from any to 45.90.30.0 port 443",
        "block drop quick proto tcp from any to any port 853",
        "block drop quick proto udp from any to any port 853",
        "block drop quick inet6 proto tcp from any to any port 853",
        "block drop quick inet6 proto udp from any to any port 853",
        "block drop quick proto tcp from any to 17.253.0.0/16 port 443",
    };
    return rules;
}

const std::vector<std::string>& serviceRangeRules() {
    static const std::vector<std::string> rules = {
        "block drop quick from any to 160.79.104.0/24",
        "block drop quick from any to 160.79.105.0/24",
        "block drop quick from any to 104.18.32.0/24",
        "block drop quick from any to 104.18.33.0/24",
        "block drop quick from any to 104.18.26.0/24",
        "block drop quick from any to 104.18.27.0/24",
        "block drop quick from any to 140.82.112.0/20",
        "block drop quick from any to 20.201.28.0/24",
        "block drop quick from any to 20.200.245.0/24",
        "block drop quick from any to 76.76.21.0/24",
        "block drop quick inet6 from any to 2607:6bc0::/32",
        "block drop quick inet6 from any to 2620:1ec::/32",
        "block drop quick inet6 from any to 2606:50c0::/32",
        "block drop quick inet6 from any to 2606:4700::/32",
        "block drop quick inet6 from any to 2a06:98c1::/32",
    };
    return rules;
}

}  // namespace kt
