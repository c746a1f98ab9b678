#pragma once

#include <QByteArray>
#include <QList>

// A bounded flood for robustness tests: count datagrams of every kind a reply port may see, in
// cycles of ten. Cycle k holds, in this order:
//   0 a valid search reply of device k (MAC FloodDeviceMac(k)), the only kind to be listed;
//   1 a duplicate of it with another IP address;  2 the same reply cut to 100 bytes;
//   3 an empty datagram;  4 an oversized reply (400 bytes) of a device never to be listed;
//   5 a reply with an unknown command;  6 a set-network reply from no listed device;
//   7 a search request (command 3);  8 a vendor-protocol probe answer;  9 a line of text.
// Kinds 4 to 9 carry MACs that no valid reply uses.
QList<QByteArray> FloodDatagrams(int count);

// "02:F1:00:" and device k as three hexadecimal bytes.
QByteArray FloodDeviceMac(int k);
