#!/usr/bin/env python3
"""Converts every .qob under SRC_DIR to PNG under DST_DIR on a Dask cluster.

    python3 dask_convert.py SRC_DIR DST_DIR [--scheduler ADDRESS] [--workers N] [-v]

SRC_DIR/a/b.qob becomes DST_DIR/a/b.png. Without --scheduler the pictures are converted by
a LocalCluster on this machine: N worker processes (default: one per core), one thread
each. With --scheduler tcp://HOST:8786 the same code runs on the cluster started there with
`dask scheduler` and `dask worker tcp://HOST:8786` on each machine; the workers need xqob
and Pillow installed and must see SRC_DIR and DST_DIR at the same paths (a shared file
system).

Each task reads its own file, decodes it and writes its PNG on the worker: only paths and
messages pass through this program. A file that fails is reported as
"dask_convert: FILE: MESSAGE" and the others go on; the exit status is then 1, as with
`qob decode`. A PNG is written to a hidden temporary file beside its target and renamed
over it only when complete, so a failed file leaves no output (an older PNG of that name
stays as it was).
"""

import argparse
import contextlib
import os
import pathlib
import sys
import tempfile
import time


def convert(source, target):
    """Decodes source into the PNG target on the worker that runs it; returns None, or the
    message of the failure."""
    import xqob
    from PIL import Image

    try:
        pixels = xqob.decode(source)
        folder = os.path.dirname(target)
        os.makedirs(folder, exist_ok=True)
        handle, temporary = tempfile.mkstemp(prefix=".", suffix=".png.part", dir=folder)
        try:
            with os.fdopen(handle, "wb") as file:
                Image.fromarray(pixels).save(file, "PNG", compress_level=1)
            os.chmod(temporary, 0o644)
            os.replace(temporary, target)
        except BaseException:
            os.unlink(temporary)
            raise
    except Exception as error:  # reported by the client; the other files go on
        return str(error) or type(error).__name__
    return None


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Convert every .qob under SRC_DIR to PNG under DST_DIR with dask.distributed.")
    parser.add_argument("source", metavar="SRC_DIR")
    parser.add_argument("target", metavar="DST_DIR")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running scheduler (tcp://HOST:8786); default: a LocalCluster")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, metavar="N",
                        help="worker processes of the LocalCluster (default: one per core)")
    parser.add_argument("-v", "--verbose", action="store_true", help="print the times")
    args = parser.parse_args(argv)
    source, target = pathlib.Path(args.source).resolve(), pathlib.Path(args.target).resolve()
    if not source.is_dir():
        parser.error(f"{args.source} is not a folder")
    if args.workers < 1:
        parser.error("--workers takes 1 or more")
    pictures = sorted(path for path in source.rglob("*.qob") if path.is_file())
    outputs = [str((target / path.relative_to(source)).with_suffix(".png")) for path in pictures]

    from dask.distributed import Client, LocalCluster, as_completed

    started = time.monotonic()
    with contextlib.ExitStack() as stack:  # closes the client before its cluster
        if args.scheduler:
            client = stack.enter_context(Client(args.scheduler))
        else:
            cluster = stack.enter_context(LocalCluster(
                n_workers=args.workers, threads_per_worker=1, processes=True,
                dashboard_address=None))
            client = stack.enter_context(Client(cluster))
        ready = time.monotonic()
        futures = client.map(convert, [str(path) for path in pictures], outputs, pure=False)
        names = dict(zip(futures, pictures))
        failed = 0
        for future in as_completed(futures):
            try:
                message = future.result()
            except Exception as error:  # the task itself was lost (a worker died)
                message = f"{type(error).__name__}: {error}"
            if message is not None:
                failed += 1
                print(f"dask_convert: {names[future]}: {message}", file=sys.stderr)
        done = time.monotonic()
    print(f"dask_convert: {len(pictures) - failed} converted, {failed} failed", file=sys.stderr)
    if args.verbose:
        print(f"dask_convert: cluster ready in {ready - started:.2f} s, converted in "
              f"{done - ready:.2f} s", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
