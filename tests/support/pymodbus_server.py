"""A Modbus server by Debian's python3-pymodbus for the link tests.

Usage: pymodbus_server.py PORT
       pymodbus_server.py MODE TARGET [LOG [HOLDING_BASE]]

MODE says how the frames travel, TARGET where:
  tcp           Modbus TCP (MBAP header) on 127.0.0.1:TARGET (the default)
  tcp-rtu       RTU frames over TCP on 127.0.0.1:TARGET
  tcp-units     Modbus TCP on 127.0.0.1:TARGET, only unit ids 1, 17 and 200,
                each with its device identification; other ids get no answer
  serial-ascii  Modbus ASCII on the serial device TARGET, 19200 8N1
  serial-rtu    Modbus RTU on the serial device TARGET, 19200 8N1

Serves every unit id with holding register i = HOLDING_BASE + i (1000
unless given), input register
i = 2000 + i, coil i on for odd i, and discrete input i on for i divisible
by 3 (addresses from 0). With LOG, each read is appended to that file as
"SECONDS FUNCTION ADDRESS COUNT", the seconds from a monotonic clock; an
empty LOG logs nothing.
"""

import asyncio
import sys
import time

from pymodbus.datastore import (ModbusSequentialDataBlock,
                                ModbusServerContext, ModbusSlaveContext)
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.server import StartAsyncSerialServer, StartAsyncTcpServer

SIZE = 1000
LOG = None
HOLDING_BASE = 1000


class LoggedBlock(ModbusSequentialDataBlock):
    """A block that notes every read of it in the request log."""

    def __init__(self, function, values):
        super().__init__(0, values)
        self.function = function

    def getValues(self, address, count=1):
        if LOG:
            LOG.write(f"{time.monotonic():.6f} {self.function} {address} {count}\n")
            LOG.flush()
        return super().getValues(address, count)


UNITS = (1, 17, 200)


def make_slave():
    return ModbusSlaveContext(
        di=LoggedBlock(2, [i % 3 == 0 for i in range(SIZE)]),
        co=LoggedBlock(1, [i % 2 == 1 for i in range(SIZE)]),
        hr=LoggedBlock(3, [HOLDING_BASE + i for i in range(SIZE)]),
        ir=LoggedBlock(4, [2000 + i for i in range(SIZE)]),
        zero_mode=True)


def make_context():
    return ModbusServerContext(slaves=make_slave(), single=True)


def make_identity():
    return ModbusDeviceIdentification(info_name={
        "VendorName": "Brenvaldor Test Works",
        "ProductCode": "BTW-17",
        "MajorMinorRevision": "2.4",
        "ProductName": "Scan Target",
    })


def serve(mode, target):
    if mode == "tcp-units":
        # Unknown ids are dropped by the framer and, should one pass, left
        # unanswered rather than refused with a gateway exception.
        context = ModbusServerContext(slaves={u: make_slave() for u in UNITS}, single=False)
        return StartAsyncTcpServer(context=context, identity=make_identity(),
                                   ignore_missing_slaves=True,
                                   address=("127.0.0.1", int(target)))
    if mode in ("tcp", "tcp-rtu"):
        framer = ModbusSocketFramer if mode == "tcp" else ModbusRtuFramer
        return StartAsyncTcpServer(context=make_context(), framer=framer,
                                   address=("127.0.0.1", int(target)))
    if mode in ("serial-ascii", "serial-rtu"):
        framer = ModbusAsciiFramer if mode == "serial-ascii" else ModbusRtuFramer
        return StartAsyncSerialServer(context=make_context(), framer=framer,
                                      port=target, baudrate=19200, bytesize=8,
                                      parity="N", stopbits=1)
    raise SystemExit(f"unknown mode {mode}")


def main():
    global LOG, HOLDING_BASE
    if len(sys.argv) == 2:
        mode, target = "tcp", sys.argv[1]
    elif len(sys.argv) in (3, 4, 5):
        mode, target = sys.argv[1], sys.argv[2]
        if len(sys.argv) >= 4 and sys.argv[3]:
            LOG = open(sys.argv[3], "a", encoding="ascii")
        if len(sys.argv) == 5:
            HOLDING_BASE = int(sys.argv[4])
    else:
        raise SystemExit(__doc__)
    asyncio.run(serve(mode, target))


if __name__ == "__main__":
    main()
