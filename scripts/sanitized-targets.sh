#!/usr/bin/env bash
# The test executables that also run under the sanitizers (space separated).
# The component modules are loaded by the control at run time, so they are built too.
echo "com_tests core_tests platform_tests document_store_tests editing_tests processing_tests effects_level_tests effects_time_tests effects_filters_tests qeleffects qelmedia"
