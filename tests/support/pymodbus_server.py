"""A Modbus TCP server by Debian's python3-pymodbus for the link tests.

Usage: pymodbus_server.py PORT. Serves every unit id on 127.0.0.1:PORT with
holding register i = 1000 + i, input register i = 2000 + i, coil i on for
odd i, and discrete input i on for i divisible by 3 (addresses from 0).
"""

import asyncio
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock,
                                ModbusServerContext, ModbusSlaveContext)
from pymodbus.server import StartAsyncTcpServer

SIZE = 1000


def make_context():
    slave = ModbusSlaveContext(
        di=ModbusSequentialDataBlock(0, [i % 3 == 0 for i in range(SIZE)]),
        co=ModbusSequentialDataBlock(0, [i % 2 == 1 for i in range(SIZE)]),
        hr=ModbusSequentialDataBlock(0, [1000 + i for i in range(SIZE)]),
        ir=ModbusSequentialDataBlock(0, [2000 + i for i in range(SIZE)]),
        zero_mode=True)
    return ModbusServerContext(slaves=slave, single=True)


def main():
    port = int(sys.argv[1])
    asyncio.run(StartAsyncTcpServer(context=make_context(),
                                    address=("127.0.0.1", port)))


if __name__ == "__main__":
    main()
