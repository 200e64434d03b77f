// Windows sockets need WSAStartup before name resolution and address conversion. Internal to
// the Windows platform layer.
#pragma once

// Starts the socket library on the first call; true when it is usable.
bool SocketLibraryStarted();
