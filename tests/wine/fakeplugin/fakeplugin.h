// The stand-in plug-in's own control: the one label of its options template, by
// which the tests know the template was opened.
#pragma once

#define IDC_FAKE_LABEL 4242
