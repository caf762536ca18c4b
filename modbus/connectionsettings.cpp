#include "modbus/connectionsettings.h"

ConnectionSettings Connection;
