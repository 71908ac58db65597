vemo_add_test(remoteview_test SOURCES remoteview_test.cpp LIBS remoteview)
vemo_add_test(librarytext_test SOURCES librarytext_test.cpp LIBS vncclient)
vemo_add_test(vncclientthread_test SOURCES vncclientthread_test.cpp LIBS vncclient vemo_testsupport)
vemo_add_test(vncview_test SOURCES vncview_test.cpp LIBS vncview vemo_testsupport)
