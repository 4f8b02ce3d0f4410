#!/usr/bin/env python3
"""A TCP proxy on localhost that holds every byte for a fixed time in each direction, so that a
client on this machine sees the round trips of a real network (no bandwidth limit).

  delay_proxy.py --listen PORT --to PORT [--delay-ms 25] [--lifetime 600] [--ready-file FILE]

A connection to 127.0.0.1:LISTEN is forwarded to 127.0.0.1:TO. Bytes read from one side are
written to the other DELAY ms after they arrived, in order; reading goes on meanwhile, so the
delay adds latency, never a limit on throughput. A round trip therefore costs 2 * DELAY. The proxy
stops by itself after --lifetime seconds.
"""
import argparse
import asyncio
import os
import time


async def pipe(reader, writer, delay):
    queue = asyncio.Queue()

    async def read():
        try:
            while True:
                data = await reader.read(65536)
                await queue.put((time.monotonic() + delay, data))
                if not data:
                    return
        except (ConnectionError, OSError):
            await queue.put((time.monotonic() + delay, b''))

    async def write():
        try:
            while True:
                due, data = await queue.get()
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not data:
                    if writer.can_write_eof():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()
        except (ConnectionError, OSError):
            return

    await asyncio.gather(read(), write())


async def handle(client_reader, client_writer, upstream_port, delay):
    try:
        server_reader, server_writer = await asyncio.open_connection('127.0.0.1', upstream_port)
    except OSError:
        client_writer.close()
        return
    try:
        await asyncio.gather(pipe(client_reader, server_writer, delay),
                             pipe(server_reader, client_writer, delay))
    finally:
        for w in (client_writer, server_writer):
            try:
                w.close()
            except OSError:
                pass


async def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--listen', type=int, required=True)
    ap.add_argument('--to', type=int, required=True)
    ap.add_argument('--delay-ms', type=float, default=25.0)
    ap.add_argument('--lifetime', type=float, default=600.0)
    ap.add_argument('--ready-file')
    a = ap.parse_args()
    delay = a.delay_ms / 1000.0
    server = await asyncio.start_server(
        lambda r, w: handle(r, w, a.to, delay), '127.0.0.1', a.listen, reuse_address=True)
    if a.ready_file:
        with open(a.ready_file, 'w') as f:
            f.write(str(os.getpid()))
    async with server:
        try:
            await asyncio.wait_for(server.serve_forever(), a.lifetime)
        except asyncio.TimeoutError:
            pass


if __name__ == '__main__':
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
