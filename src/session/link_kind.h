#pragma once

// The kinds of link, in the order the selector lists them.
enum class LinkKind { Serial = 0, TcpClient = 1, TcpServer = 2, Udp = 3, Icmp = 4, None = -1 };
