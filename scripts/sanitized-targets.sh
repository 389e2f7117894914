#!/usr/bin/env bash
# The test executables that also run under the sanitizers (space separated).
echo "com_tests core_tests platform_tests document_store_tests"
