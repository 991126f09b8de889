#pragma once
#include <string>

// "<20261209 21:38:27.123>": the general log's stamp, local time.
std::string GeneralLogStamp();

// "20261209 21:38:27.1230>" (22 characters and ">"): the network log's stamp.
std::string NetworkLogStamp();
