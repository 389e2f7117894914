#!/usr/bin/env bash
# The test executables that also run under the sanitizers (space separated):
# every C++ suite. The component modules are loaded by the control at run time,
# so they are built too.
effects=""
for group in level time filters pitch spectral generators analysis batch; do
  effects="$effects effects_${group}_tests"
done
echo "com_tests core_tests platform_tests qel_mutex_holder document_store_tests editing_tests" \
  "processing_tests pcm_tests media_tests view_tests dtmf_tests plugins_tests audio_tests$effects" \
  "gtk_effect_table_tests" \
  "qeleffects qelmedia qelaudiodevices"
