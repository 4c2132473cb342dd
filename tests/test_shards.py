"""One test file split into shards that run as tests of their own, side by side: with
STAGEMARK_SHARD=K/N a file runs only its test classes whose place in the file is K
modulo N, so every class runs in exactly one shard of N. Without it, every class runs.

A test file takes it with `load_tests = test_shards.load_tests_of(__name__)`.
"""
import os
import sys
import unittest


def shard():
    """(K, N) from STAGEMARK_SHARD, (0, 1) when it is not set."""
    text = os.environ.get("STAGEMARK_SHARD", "")
    if not text:
        return 0, 1
    k, _, n = text.partition("/")
    if not (k.isdigit() and n.isdigit() and 0 <= int(k) < int(n)):
        sys.exit(f"STAGEMARK_SHARD is '{text}', not K/N with 0 <= K < N; set it as 0/3, 1/3 or 2/3, or unset it")
    return int(k), int(n)


def load_tests_of(module_name):
    def load_tests(loader, standard_tests, pattern):
        k, n = shard()
        module = sys.modules[module_name]
        classes = [c for c in vars(module).values()
                   if isinstance(c, type) and issubclass(c, unittest.TestCase) and loader.getTestCaseNames(c)]
        suite = unittest.TestSuite()
        for place, case in enumerate(classes):
            if place % n == k:
                suite.addTests(loader.loadTestsFromTestCase(case))
        return suite
    return load_tests
