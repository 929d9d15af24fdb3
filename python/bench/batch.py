#!/usr/bin/env python3
"""Decodes a batch of QOB pictures from memory on 1 and on 2 threads of one process, to show
that decodes run side by side (the library is called without the GIL).

    python3 python/bench/batch.py FILE_OR_FOLDER... [--runs N] [--threads 1,2]

The batch is decoded whole by each thread count in turn, round after round, so that a busy
machine slows every count alike; the median of the rounds is printed, with megapixels per
second and the speed-up over the first count.
"""

import argparse
import concurrent.futures
import pathlib
import statistics
import sys
import time

import xqob


def pictures(arguments):
    for argument in arguments:
        path = pathlib.Path(argument)
        yield from sorted(path.rglob("*.qob")) if path.is_dir() else [path]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("inputs", nargs="+", metavar="FILE_OR_FOLDER")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--threads", default="1,2", help="thread counts, e.g. 1,2,4")
    args = parser.parse_args()
    batch = [path.read_bytes() for path in pictures(args.inputs)]
    if not batch:
        sys.exit("batch.py: no .qob files")
    counts = [int(count) for count in args.threads.split(",")]
    megapixels = sum(xqob.info(data).width * xqob.info(data).height for data in batch) / 1e6
    pools = {count: concurrent.futures.ThreadPoolExecutor(count) for count in counts}
    times = {count: [] for count in counts}
    for _ in range(args.runs):
        for count in counts:
            start = time.perf_counter()
            list(pools[count].map(xqob.decode, batch))
            times[count].append(time.perf_counter() - start)
    print(f"{len(batch)} pictures, {megapixels:.1f} megapixels, median of {args.runs} rounds")
    base = statistics.median(times[counts[0]])
    for count in counts:
        median = statistics.median(times[count])
        print(f"{count} thread{'s' if count > 1 else ' '}: {median * 1000:8.1f} ms "
              f"{megapixels / median:7.1f} MP/s  x{base / median:.2f}")


if __name__ == "__main__":
    main()
