#pragma once
// Every GL entry point the device layer calls goes through a counter, so the
// device can say what it asked of the driver in a frame (the F1 statistics,
// -stats-log and the benchmarks). Each name stays the GL function it wraps;
// a call costs one increment. The device's sources include this instead of
// <epoxy/gl.h>; a GL function the device starts using is added here, or its
// calls go uncounted.
#include <epoxy/gl.h>

#include "device/device_counters.h"

inline void gl_count_call() { device_counters.glCalls++; }
inline void gl_count_read() {
  device_counters.glCalls++;
  device_counters.reads++;
}

// Calls that hand the driver work or state.
#undef glActiveTexture
#define glActiveTexture(...) (gl_count_call(), epoxy_glActiveTexture(__VA_ARGS__))
#undef glAttachShader
#define glAttachShader(...) (gl_count_call(), epoxy_glAttachShader(__VA_ARGS__))
#undef glBindBuffer
#define glBindBuffer(...) (gl_count_call(), epoxy_glBindBuffer(__VA_ARGS__))
#undef glBindBufferRange
#define glBindBufferRange(...) (gl_count_call(), epoxy_glBindBufferRange(__VA_ARGS__))
#undef glBindFramebuffer
#define glBindFramebuffer(...) (gl_count_call(), epoxy_glBindFramebuffer(__VA_ARGS__))
#undef glBindRenderbuffer
#define glBindRenderbuffer(...) (gl_count_call(), epoxy_glBindRenderbuffer(__VA_ARGS__))
#undef glBindSampler
#define glBindSampler(...) (gl_count_call(), epoxy_glBindSampler(__VA_ARGS__))
#undef glBindSamplers
#define glBindSamplers(...) (gl_count_call(), epoxy_glBindSamplers(__VA_ARGS__))
#undef glBindTexture
#define glBindTexture(...) (gl_count_call(), epoxy_glBindTexture(__VA_ARGS__))
#undef glBindTextures
#define glBindTextures(...) (gl_count_call(), epoxy_glBindTextures(__VA_ARGS__))
#undef glBindVertexArray
#define glBindVertexArray(...) (gl_count_call(), epoxy_glBindVertexArray(__VA_ARGS__))
#undef glBindVertexBuffer
#define glBindVertexBuffer(...) (gl_count_call(), epoxy_glBindVertexBuffer(__VA_ARGS__))
#undef glBlendFunc
#define glBlendFunc(...) (gl_count_call(), epoxy_glBlendFunc(__VA_ARGS__))
#undef glBlitFramebuffer
#define glBlitFramebuffer(...) (gl_count_call(), epoxy_glBlitFramebuffer(__VA_ARGS__))
#undef glBufferData
#define glBufferData(...) (gl_count_call(), epoxy_glBufferData(__VA_ARGS__))
#undef glBufferSubData
#define glBufferSubData(...) (gl_count_call(), epoxy_glBufferSubData(__VA_ARGS__))
#undef glClear
#define glClear(...) (gl_count_call(), epoxy_glClear(__VA_ARGS__))
#undef glClearColor
#define glClearColor(...) (gl_count_call(), epoxy_glClearColor(__VA_ARGS__))
#undef glClearDepth
#define glClearDepth(...) (gl_count_call(), epoxy_glClearDepth(__VA_ARGS__))
#undef glClearStencil
#define glClearStencil(...) (gl_count_call(), epoxy_glClearStencil(__VA_ARGS__))
#undef glClientWaitSync
#define glClientWaitSync(...) (gl_count_call(), epoxy_glClientWaitSync(__VA_ARGS__))
#undef glColorMask
#define glColorMask(...) (gl_count_call(), epoxy_glColorMask(__VA_ARGS__))
#undef glCompileShader
#define glCompileShader(...) (gl_count_call(), epoxy_glCompileShader(__VA_ARGS__))
#undef glCompressedTexImage2D
#define glCompressedTexImage2D(...) (gl_count_call(), epoxy_glCompressedTexImage2D(__VA_ARGS__))
#undef glCompressedTexSubImage2D
#define glCompressedTexSubImage2D(...) (gl_count_call(), epoxy_glCompressedTexSubImage2D(__VA_ARGS__))
#undef glCreateProgram
#define glCreateProgram(...) (gl_count_call(), epoxy_glCreateProgram(__VA_ARGS__))
#undef glCreateShader
#define glCreateShader(...) (gl_count_call(), epoxy_glCreateShader(__VA_ARGS__))
#undef glCullFace
#define glCullFace(...) (gl_count_call(), epoxy_glCullFace(__VA_ARGS__))
#undef glDeleteBuffers
#define glDeleteBuffers(...) (gl_count_call(), epoxy_glDeleteBuffers(__VA_ARGS__))
#undef glDeleteFramebuffers
#define glDeleteFramebuffers(...) (gl_count_call(), epoxy_glDeleteFramebuffers(__VA_ARGS__))
#undef glDeleteProgram
#define glDeleteProgram(...) (gl_count_call(), epoxy_glDeleteProgram(__VA_ARGS__))
#undef glDeleteRenderbuffers
#define glDeleteRenderbuffers(...) (gl_count_call(), epoxy_glDeleteRenderbuffers(__VA_ARGS__))
#undef glDeleteSamplers
#define glDeleteSamplers(...) (gl_count_call(), epoxy_glDeleteSamplers(__VA_ARGS__))
#undef glDeleteShader
#define glDeleteShader(...) (gl_count_call(), epoxy_glDeleteShader(__VA_ARGS__))
#undef glDeleteSync
#define glDeleteSync(...) (gl_count_call(), epoxy_glDeleteSync(__VA_ARGS__))
#undef glDeleteTextures
#define glDeleteTextures(...) (gl_count_call(), epoxy_glDeleteTextures(__VA_ARGS__))
#undef glDeleteVertexArrays
#define glDeleteVertexArrays(...) (gl_count_call(), epoxy_glDeleteVertexArrays(__VA_ARGS__))
#undef glDepthFunc
#define glDepthFunc(...) (gl_count_call(), epoxy_glDepthFunc(__VA_ARGS__))
#undef glDepthMask
#define glDepthMask(...) (gl_count_call(), epoxy_glDepthMask(__VA_ARGS__))
#undef glDepthRange
#define glDepthRange(...) (gl_count_call(), epoxy_glDepthRange(__VA_ARGS__))
#undef glDetachShader
#define glDetachShader(...) (gl_count_call(), epoxy_glDetachShader(__VA_ARGS__))
#undef glDisable
#define glDisable(...) (gl_count_call(), epoxy_glDisable(__VA_ARGS__))
#undef glDisableVertexAttribArray
#define glDisableVertexAttribArray(...) (gl_count_call(), epoxy_glDisableVertexAttribArray(__VA_ARGS__))
#undef glDrawArrays
#define glDrawArrays(...) (gl_count_call(), epoxy_glDrawArrays(__VA_ARGS__))
#undef glDrawBuffer
#define glDrawBuffer(...) (gl_count_call(), epoxy_glDrawBuffer(__VA_ARGS__))
#undef glDrawBuffers
#define glDrawBuffers(...) (gl_count_call(), epoxy_glDrawBuffers(__VA_ARGS__))
#undef glDrawElementsBaseVertex
#define glDrawElementsBaseVertex(...) (gl_count_call(), epoxy_glDrawElementsBaseVertex(__VA_ARGS__))
#undef glDrawElementsInstancedBaseVertex
#define glDrawElementsInstancedBaseVertex(...) (gl_count_call(), epoxy_glDrawElementsInstancedBaseVertex(__VA_ARGS__))
#undef glEnable
#define glEnable(...) (gl_count_call(), epoxy_glEnable(__VA_ARGS__))
#undef glEnableVertexAttribArray
#define glEnableVertexAttribArray(...) (gl_count_call(), epoxy_glEnableVertexAttribArray(__VA_ARGS__))
#undef glFenceSync
#define glFenceSync(...) (gl_count_call(), epoxy_glFenceSync(__VA_ARGS__))
#undef glFramebufferRenderbuffer
#define glFramebufferRenderbuffer(...) (gl_count_call(), epoxy_glFramebufferRenderbuffer(__VA_ARGS__))
#undef glFramebufferTexture2D
#define glFramebufferTexture2D(...) (gl_count_call(), epoxy_glFramebufferTexture2D(__VA_ARGS__))
#undef glFrontFace
#define glFrontFace(...) (gl_count_call(), epoxy_glFrontFace(__VA_ARGS__))
#undef glGenBuffers
#define glGenBuffers(...) (gl_count_call(), epoxy_glGenBuffers(__VA_ARGS__))
#undef glGenFramebuffers
#define glGenFramebuffers(...) (gl_count_call(), epoxy_glGenFramebuffers(__VA_ARGS__))
#undef glGenRenderbuffers
#define glGenRenderbuffers(...) (gl_count_call(), epoxy_glGenRenderbuffers(__VA_ARGS__))
#undef glGenSamplers
#define glGenSamplers(...) (gl_count_call(), epoxy_glGenSamplers(__VA_ARGS__))
#undef glGenTextures
#define glGenTextures(...) (gl_count_call(), epoxy_glGenTextures(__VA_ARGS__))
#undef glGenVertexArrays
#define glGenVertexArrays(...) (gl_count_call(), epoxy_glGenVertexArrays(__VA_ARGS__))
#undef glLinkProgram
#define glLinkProgram(...) (gl_count_call(), epoxy_glLinkProgram(__VA_ARGS__))
#undef glPixelStorei
#define glPixelStorei(...) (gl_count_call(), epoxy_glPixelStorei(__VA_ARGS__))
#undef glPolygonMode
#define glPolygonMode(...) (gl_count_call(), epoxy_glPolygonMode(__VA_ARGS__))
#undef glProgramBinary
#define glProgramBinary(...) (gl_count_call(), epoxy_glProgramBinary(__VA_ARGS__))
#undef glProgramParameteri
#define glProgramParameteri(...) (gl_count_call(), epoxy_glProgramParameteri(__VA_ARGS__))
#undef glReadBuffer
#define glReadBuffer(...) (gl_count_call(), epoxy_glReadBuffer(__VA_ARGS__))
#undef glReadPixels
#define glReadPixels(...) (gl_count_call(), epoxy_glReadPixels(__VA_ARGS__))
#undef glRenderbufferStorage
#define glRenderbufferStorage(...) (gl_count_call(), epoxy_glRenderbufferStorage(__VA_ARGS__))
#undef glSamplerParameteri
#define glSamplerParameteri(...) (gl_count_call(), epoxy_glSamplerParameteri(__VA_ARGS__))
#undef glShaderSource
#define glShaderSource(...) (gl_count_call(), epoxy_glShaderSource(__VA_ARGS__))
#undef glStencilFunc
#define glStencilFunc(...) (gl_count_call(), epoxy_glStencilFunc(__VA_ARGS__))
#undef glStencilMask
#define glStencilMask(...) (gl_count_call(), epoxy_glStencilMask(__VA_ARGS__))
#undef glStencilOp
#define glStencilOp(...) (gl_count_call(), epoxy_glStencilOp(__VA_ARGS__))
#undef glTexImage2D
#define glTexImage2D(...) (gl_count_call(), epoxy_glTexImage2D(__VA_ARGS__))
#undef glTexParameteri
#define glTexParameteri(...) (gl_count_call(), epoxy_glTexParameteri(__VA_ARGS__))
#undef glTexParameteriv
#define glTexParameteriv(...) (gl_count_call(), epoxy_glTexParameteriv(__VA_ARGS__))
#undef glTexSubImage2D
#define glTexSubImage2D(...) (gl_count_call(), epoxy_glTexSubImage2D(__VA_ARGS__))
#undef glUniform1iv
#define glUniform1iv(...) (gl_count_call(), epoxy_glUniform1iv(__VA_ARGS__))
#undef glUniformBlockBinding
#define glUniformBlockBinding(...) (gl_count_call(), epoxy_glUniformBlockBinding(__VA_ARGS__))
#undef glUnmapBuffer
#define glUnmapBuffer(...) (gl_count_call(), epoxy_glUnmapBuffer(__VA_ARGS__))
#undef glUseProgram
#define glUseProgram(...) (gl_count_call(), epoxy_glUseProgram(__VA_ARGS__))
#undef glVertexAttrib4f
#define glVertexAttrib4f(...) (gl_count_call(), epoxy_glVertexAttrib4f(__VA_ARGS__))
#undef glVertexAttribBinding
#define glVertexAttribBinding(...) (gl_count_call(), epoxy_glVertexAttribBinding(__VA_ARGS__))
#undef glVertexAttribDivisor
#define glVertexAttribDivisor(...) (gl_count_call(), epoxy_glVertexAttribDivisor(__VA_ARGS__))
#undef glVertexAttribFormat
#define glVertexAttribFormat(...) (gl_count_call(), epoxy_glVertexAttribFormat(__VA_ARGS__))
#undef glVertexAttribIFormat
#define glVertexAttribIFormat(...) (gl_count_call(), epoxy_glVertexAttribIFormat(__VA_ARGS__))
#undef glVertexAttribPointer
#define glVertexAttribPointer(...) (gl_count_call(), epoxy_glVertexAttribPointer(__VA_ARGS__))
#undef glVertexBindingDivisor
#define glVertexBindingDivisor(...) (gl_count_call(), epoxy_glVertexBindingDivisor(__VA_ARGS__))
#undef glViewport
#define glViewport(...) (gl_count_call(), epoxy_glViewport(__VA_ARGS__))

// Calls that read state or data back from the driver: also counted as reads.
#undef glCheckFramebufferStatus
#define glCheckFramebufferStatus(...) (gl_count_read(), epoxy_glCheckFramebufferStatus(__VA_ARGS__))
#undef glGetActiveAttrib
#define glGetActiveAttrib(...) (gl_count_read(), epoxy_glGetActiveAttrib(__VA_ARGS__))
#undef glGetActiveUniform
#define glGetActiveUniform(...) (gl_count_read(), epoxy_glGetActiveUniform(__VA_ARGS__))
#undef glGetAttribLocation
#define glGetAttribLocation(...) (gl_count_read(), epoxy_glGetAttribLocation(__VA_ARGS__))
#undef glGetBooleanv
#define glGetBooleanv(...) (gl_count_read(), epoxy_glGetBooleanv(__VA_ARGS__))
#undef glGetCompressedTexImage
#define glGetCompressedTexImage(...) (gl_count_read(), epoxy_glGetCompressedTexImage(__VA_ARGS__))
#undef glGetError
#define glGetError(...) (gl_count_read(), epoxy_glGetError(__VA_ARGS__))
#undef glGetIntegerv
#define glGetIntegerv(...) (gl_count_read(), epoxy_glGetIntegerv(__VA_ARGS__))
#undef glGetProgramBinary
#define glGetProgramBinary(...) (gl_count_read(), epoxy_glGetProgramBinary(__VA_ARGS__))
#undef glGetProgramInfoLog
#define glGetProgramInfoLog(...) (gl_count_read(), epoxy_glGetProgramInfoLog(__VA_ARGS__))
#undef glGetProgramiv
#define glGetProgramiv(...) (gl_count_read(), epoxy_glGetProgramiv(__VA_ARGS__))
#undef glGetShaderInfoLog
#define glGetShaderInfoLog(...) (gl_count_read(), epoxy_glGetShaderInfoLog(__VA_ARGS__))
#undef glGetShaderiv
#define glGetShaderiv(...) (gl_count_read(), epoxy_glGetShaderiv(__VA_ARGS__))
#undef glGetString
#define glGetString(...) (gl_count_read(), epoxy_glGetString(__VA_ARGS__))
#undef glGetTexImage
#define glGetTexImage(...) (gl_count_read(), epoxy_glGetTexImage(__VA_ARGS__))
#undef glGetUniformBlockIndex
#define glGetUniformBlockIndex(...) (gl_count_read(), epoxy_glGetUniformBlockIndex(__VA_ARGS__))
#undef glGetUniformLocation
#define glGetUniformLocation(...) (gl_count_read(), epoxy_glGetUniformLocation(__VA_ARGS__))
#undef glIsEnabled
#define glIsEnabled(...) (gl_count_read(), epoxy_glIsEnabled(__VA_ARGS__))
